#include "mainwindow/form1.h"

void Form1::PushButton5_Click() {}
void Form1::PushButton8_Click() {}
