#pragma once

#include <QString>
#include <QStringList>

// The real Dovecot the mail tests talk to: started once per test binary on
// 127.0.0.1 with a free port, its own throwaway CA and the seeded Gmail-like
// mailbox, and stopped when the binary exits (also when it aborts or is
// killed: the start script watches this process).
//
// The mailbox is the generated corpus of scripts/make-corpus.py; what each
// message decodes to, its position in every folder and whether it is seen are
// in expectedFieldsFile() (JSON, described at the top of that script).
// One corpus message is dated exactly midnight UTC: tests that look at local
// dates call useCorpusTimeZone() first thing (initTestCase).
class TestServer
{
public:
    // Starts the server on first use; QFAIL-worthy errors are in startError().
    static TestServer &instance();

    bool isRunning() const;
    QString startError() const;

    QString host() const;     // "127.0.0.1"
    int port() const;         // the imaps port
    QString caFile() const;   // PEM of the throwaway CA
    QString user() const;     // the seeded account
    QString password() const;
    // A second account whose password is non-ASCII with a space and quotes;
    // its INBOX holds one message.
    QString otherUser() const;
    QString otherPassword() const;
    // A third account whose system folders live under "[Google Mail]/" with
    // special-use flags, as older UK and German Gmail accounts have them.
    QString googleMailUser() const;
    QString googleMailPassword() const;
    QString directory() const; // the server's throwaway folder
    // The generated corpus's description of what each message decodes to.
    QString expectedFieldsFile() const;

    // doveadm against the running server, e.g. {"fetch", "-u", user, "flags", "mailbox", "INBOX"}.
    // Its standard output; "" when it could not run.
    QString doveadm(const QStringList &arguments) const;

    // Makes local time UTC (TZ=UTC) for this process, the zone the corpus's
    // midnight message is midnight in.
    static void useCorpusTimeZone();
    // Points every session the program creates at this server.
    void serveProgram() const;

private:
    TestServer();
    ~TestServer();
    void start();
    void stop();
    struct Private;
    Private *d;
};
