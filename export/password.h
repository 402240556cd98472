#pragma once

#include <QString>

// The name of the variable a password may come from.
inline const char kPasswordVariable[] = "CORVINA_PASSWORD";

struct PasswordReading
{
    bool found = false;
    QString password;
    QString error; // why there is none
};

// The password, never from the command line (every user sees that in the
// process list): the first output line of `command` when one is given, else
// CORVINA_PASSWORD (taken out of the environment once read), else asked on
// the terminal without echo.
PasswordReading readPassword(const QString &command, const QString &user);

// Asks a yes/no question on the terminal; false without a terminal, on
// anything but y/yes, and when interrupted.
bool askOnTerminal(const QString &question);
