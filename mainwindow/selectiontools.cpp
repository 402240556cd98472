#include "mainwindow/selectiontools.h"

#include "app/errortrap.h"
#include "mainwindow/messagelist.h"

void checkAllRows(ErrorTrap &, const SelectionTarget &) {}
void uncheckAllRows(ErrorTrap &, const SelectionTarget &) {}
void checkRowsByText(ErrorTrap &, const SelectionTarget &, bool) {}
