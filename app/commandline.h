#pragma once

#include <cstdio>

#include <QCommandLineOption>
#include <QStringList>

#include "app/programstate.h"

class QCommandLineParser;

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

// The --server and --ca-file options both fronts take.
struct ServerOptions
{
    ServerOptions();
    QCommandLineOption server;
    QCommandLineOption caFile;
};
void addServerOptions(QCommandLineParser &parser, const ServerOptions &options);
// Reads them into `server`; the error text, or "" when they are sound.
QString readServerOptions(const QCommandLineParser &parser, const ServerOptions &options, MailServer &server);
// Writes `text` to stdout or stderr at once, in the locale's encoding.
void printText(FILE *stream, const QString &text);
