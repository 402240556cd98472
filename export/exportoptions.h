#pragma once

#include <QString>
#include <QStringList>

#include "app/programstate.h"

// The exit statuses of "corvina export"; README and --help list them.
enum ExportStatus : int
{
    ExportSucceeded = 0,       // every message of the range listed, every match saved
    ExportFailed = 1,          // anything else that stopped it
    ExportUsage = 2,           // wrong arguments, no password, a range outside the mailbox
    ExportNoConnection = 3,    // no TLS connection or no greeting from the server
    ExportLoginRefused = 4,    // the server refused the login
    ExportMailboxNotFound = 5, // no such folder, label or mailbox
    ExportNotAllListed = 6,    // some messages of the range could not be listed
    ExportNotAllWritten = 7,   // some files could not be written
    ExportDeclined = 8,        // the range passes the daily limit and the answer was no
    ExportInterrupted = 130,   // Ctrl-C (or SIGTERM)
};

// What "corvina export" is asked to do. There is no password here: it never
// comes from the command line.
struct ExportOptions
{
    MailServer server;
    QString user;
    QString passwordCommand; // its first output line is the password
    QString folderCaption;   // a system folder by its caption ("All Mail")
    QString mailbox;         // or any mailbox or label by name
    bool hasRange = false;
    qint64 first = 0;
    qint64 last = 0;
    QString filter;          // the character filter; "" for none
    bool oneFile = false;    // all messages in Emails.txt
    QString outFolder;
    bool acceptLarge = false; // go on past the daily limit without asking
    bool quiet = false;
    bool tls = true; // no option turns it off; scripted test servers speak plain TCP
};

struct ExportCommandLine
{
    ExportOptions options;
    bool exitNow = false; // --help answered or the line was wrong
    int exitCode = 0;
};

// Parses "corvina export ..." (argv[0] first, then "export"); prints help and
// errors itself.
ExportCommandLine parseExportCommandLine(const QStringList &arguments);
