#pragma once

#include <QStringList>

#include "app/programstate.h"

// What the command line asks for.
struct CommandLine
{
    MailServer server;
    bool exitNow = false; // --help or --version was answered, or the line was wrong
    int exitCode = 0;
};

// Parses the program's arguments (argv[0] first); prints help, version and
// errors itself.
CommandLine parseCommandLine(const QStringList &arguments);
