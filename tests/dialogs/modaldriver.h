#pragma once

#include <functional>

class QWidget;

// Runs `action` on the next modal widget that opens, from inside its own
// event loop. Polls by timer until one is up or a few seconds have passed.
void whenModalOpens(std::function<void(QWidget *modal)> action);
// Closes every modal widget still open (each test's cleanup).
void closeLeftoverModals();
// True once `whenModalOpens`'s action ran since the last call.
bool modalActionRan();
