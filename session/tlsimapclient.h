#pragma once

#include <memory>

#include <QHash>
#include <QString>

#include "session/imapclient.h"
#include "session/imapconnection.h"

// The program's IMAP client: implicit TLS (or plain TCP when switched off),
// blocking calls that wait in a nested event loop while the receiver's
// abort check runs at least every 100 ms.
class TlsImapClient : public ImapClient
{
public:
    explicit TlsImapClient(const ImapClientOptions &options);
    ~TlsImapClient() override;

    void setSsl(bool useTls) override { m_useTls = useTls; }
    void setPort(qint32 port) override { m_port = port; }
    qint32 connectToServer(const QString &host) override;
    QString rawCommand(const QString &command) override;
    qint32 login(const QString &user, const QString &password) override;
    qint32 selectMailbox(const QString &name) override;
    qint32 messageCount() override;
    std::unique_ptr<ImapEmail> fetchMessage(qint32 number, bool byUid) override;
    std::unique_ptr<ImapMailboxList> listMailboxes(const QString &reference, const QString &pattern) override;
    QString lastErrorText() const override;
    void disconnectFromServer() override;
    void setEventReceiver(ImapEvents *receiver) override { m_receiver = receiver; }
    ImapEvents *eventReceiver() const override { return m_receiver; }

    // Interval of the abort check while a call waits.
    static constexpr int HeartbeatMs = 50;

    // Limits a server may not exceed (tests lower them).
    void setMaxLiteral(qint64 bytes) { m_connection.setMaxLiteral(bytes); }

private:
    enum class AbortPolicy { Abandon, Close };
    // Waits for the command; false when it failed, was refused or was aborted.
    bool run(const ImapCommandPtr &command, AbortPolicy policy, int capMs = 0);
    bool askAbort();
    void reportProgress();
    void setOutcome(const ImapCommand &command);
    void setError(const QString &text);

    ImapClientOptions m_options;
    ImapConnection m_connection;
    ImapEvents *m_receiver = nullptr;
    bool m_useTls = true;
    qint32 m_port = 0;
    bool m_selected = false;
    int m_lastPercent = -1;
    QString m_password;  // only to scrub it from every diagnostic
    QString m_lastError;
    QHash<QString, QByteArray> m_undecodableNames; // as listed, for selecting them
};
