#pragma once

#include <functional>

class ErrorTrap;
class MessageList;

// What the selection tools act on: the main window's list, flag and counters,
// or the larger view's own.
struct SelectionTarget
{
    MessageList *list = nullptr;
    bool *textCheckApplied = nullptr;
    std::function<void(bool reset)> updateCounters;
};

// "Check All": statements 110 to 120 of the caller's trap.
void checkAllRows(ErrorTrap &trap, const SelectionTarget &target);
// "Uncheck All": statements 100 to 108.
void uncheckAllRows(ErrorTrap &trap, const SelectionTarget &target);
// "Check Emails Containing..." (containing) and "... Not Containing...":
// statements 110 to 126, the "Enter X:" input box included.
void checkRowsByText(ErrorTrap &trap, const SelectionTarget &target, bool containing);
