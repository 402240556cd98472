#include "mainwindow/form1.h"

#include "app/errortrap.h"
#include "mainwindow/messagelist.h"
#include "mainwindow/selectiontools.h"

namespace {

SelectionTarget mainList(Form1 *window)
{
    return SelectionTarget{window->ListView1, &window->TextCheckApplied,
                           [window](bool reset) { window->UpdateCounters(reset); }};
}

} // namespace

// A row's check box, toggled by the user
void Form1::ListView1_ItemCheck(int)
{
    UpdateCounters(false);
}

// "Check All"
void Form1::PushButton4_Click()
{
    ErrorTrap trap("Form1", "PushButton4_Click");
    checkAllRows(trap, mainList(this));
}

// "Uncheck All"
void Form1::PushButton6_Click()
{
    ErrorTrap trap("Form1", "PushButton6_Click");
    uncheckAllRows(trap, mainList(this));
}

// "Check Emails Containing..."
void Form1::PushButton9_Click()
{
    checkByText(true, "PushButton9_Click");
}

// "Check Emails Not Containing..."
void Form1::PushButton11_Click()
{
    checkByText(false, "PushButton11_Click");
}

void Form1::checkByText(bool containing, const char *procedure)
{
    ErrorTrap trap("Form1", procedure);
    checkRowsByText(trap, mainList(this), containing);
}

// "Clear List"
void Form1::PushButton3_Click()
{
    ErrorTrap trap("Form1", "PushButton3_Click");
    // The busy pointer means a connect, listing or save is using the rows.
    trap.run(100, [&] {
        if (!isBusy())
            ListView1->removeAllRows();
    });
    trap.run(102, [&] { UpdateCounters(true); });
}
