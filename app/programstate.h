#pragma once

#include <array>
#include <optional>

#include <QString>
#include <QStringList>

// The mail server every session connects to: the production server unless the
// command line points the program at another one (tests and the demo).
struct MailServer
{
    QString host = QStringLiteral("imap.gmail.com");
    qint32 port = 993;
    QString caFile; // an extra trusted CA certificate, PEM; empty for none
};

// Program-wide flags and lists shared by the windows and the session.
struct ProgramState
{
    // When True at the end of a listing command, "Done." is not shown.
    bool SkipDoneMessage = false;
    // Set by the range dialog when the user confirmed a valid range.
    bool RangeAccepted = false;
    // The clicked listing button's caption while a listing runs.
    QString SavedCaption;
    // Entries 1 to 7: the system folder names the server reported, without
    // their "[Gmail]/" or "[Google Mail]/" prefix (the folder options' captions).
    std::array<QString, 8> SpecialFolderNames;
    // The same entries' full names as the server listed them: what a folder
    // option lists while it shows the entry's caption.
    std::array<QString, 8> SpecialFolderMailboxes;
    // The labels of the last enumeration that found any; absent before.
    std::optional<QStringList> LabelNames;

    MailServer server;
};

ProgramState &program();
// Back to the state at program start (tests).
void resetProgramState();
