#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <memory>

class QTcpSocket;

// A scripted IMAP server for faults a real server cannot show. It listens on
// 127.0.0.1 with a free port, plain TCP (the client runs with setSsl(false))
// or implicit TLS with the given certificate and key (PEM files), takes one
// connection and plays its script: it sends what the script sends, checks
// that the client sent exactly the expected bytes, pauses, closes, or takes
// the client's next connection. A script that ends without close() leaves
// the server silent.
class FakeImapServer : public QObject
{
    Q_OBJECT

public:
    explicit FakeImapServer(const QString &certificateFile = QString(), const QString &keyFile = QString());
    ~FakeImapServer() override;

    quint16 port() const { return m_server->serverPort(); }

    FakeImapServer &send(const QByteArray &bytes);
    FakeImapServer &expect(const QByteArray &bytes);
    FakeImapServer &pause(int ms);
    FakeImapServer &close();
    // Waits for the client's next connection and goes on with it.
    FakeImapServer &accept();

    // True once every step ran and every expectation matched.
    bool scriptDone() const { return m_next == m_steps.size() && m_mismatch.isEmpty(); }
    // What went wrong, for the test's failure message.
    QString problem() const;

private:
    struct Step
    {
        enum class Kind { Send, Expect, Pause, Close, Accept } kind;
        QByteArray bytes;
        int ms = 0;
    };

    void onNewConnection();
    void takeNextConnection();
    void advance();

    std::unique_ptr<QTcpServer> m_server;
    QTcpSocket *m_socket = nullptr;
    QList<QTcpSocket *> m_waiting; // connections the script has not reached yet
    QList<Step> m_steps;
    int m_next = 0;
    bool m_paused = false;
    QByteArray m_received;
    QString m_mismatch;
};
