#include "mainwindow/form1.h"

void Form1::ListView1_ItemCheck(int) { UpdateCounters(false); }
void Form1::PushButton4_Click() {}
void Form1::PushButton6_Click() {}
void Form1::PushButton9_Click() {}
void Form1::PushButton11_Click() {}
void Form1::PushButton3_Click() {}
void Form1::checkByText(bool, const char *) {}
