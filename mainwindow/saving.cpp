#include "mainwindow/form1.h"

void Form1::PushButton7_Click() {}
void Form1::PushButton1_Click() {}
