#pragma once

#include <QString>

// The real Dovecot the mail tests talk to: started once per test binary on
// 127.0.0.1 with a free port, its own throwaway CA and the seeded Gmail-like
// mailbox, and stopped when the binary exits.
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
    QString directory() const; // the server's throwaway folder
    // The generated corpus's description of what each message decodes to.
    QString expectedFieldsFile() const;

    // doveadm against the running server, e.g. {"fetch", "-u", user, "flags", "mailbox", "INBOX"}.
    QString doveadm(const QStringList &arguments) const;

private:
    TestServer();
    ~TestServer();
    struct Private;
    Private *d;
};
