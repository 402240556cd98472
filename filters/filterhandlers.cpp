#include "mainwindow/form1.h"

void Form1::PushButton13_Click() {}
void Form1::PushButton14_Click() {}
void Form1::PushButton15_Click() {}
void Form1::PushButton16_Click() {}
void Form1::PushButton17_Click() {}
void Form1::PushButton18_Click() {}
