#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>

#include <QFuture>

#include <QHash>
#include <QString>

class QEventLoop;

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
    std::unique_ptr<ImapMessageSizes> messageSizes(qint32 first, qint32 last) override;
    QString lastErrorText() const override;
    ImapFailure lastFailure() const override { return m_failure; }
    void disconnectFromServer() override;
    void setEventReceiver(ImapEvents *receiver) override { m_receiver = receiver; }
    ImapEvents *eventReceiver() const override { return m_receiver; }
    void expectFetches(qint32 first, qint32 last) override;

    // Interval of the abort check while a call waits.
    static constexpr int HeartbeatMs = 50;

    // Limits a server may not exceed (tests lower them).
    void setMaxLiteral(qint64 bytes) { m_connection.setMaxLiteral(bytes); }

private:
    // One FETCH of consecutive positions sent ahead of the caller.
    struct Ahead
    {
        qint64 first;
        qint64 last;
        ImapCommandPtr command;
    };

    enum class AbortPolicy { Abandon, Close };
    std::unique_ptr<ImapEmail> fetchOne(qint32 number, bool byUid);
    std::unique_ptr<ImapEmail> fetchAhead(qint32 number);
    std::unique_ptr<ImapEmail> decoded(const QByteArray &body);
    std::unique_ptr<ImapEmail> delivered(ImapEmail email);
    // Hands the texts already here for the next positions to worker threads,
    // so decoding overlaps with reading and with the caller's own work.
    void decodeAheadFrom(qint64 position);
    // Sends FETCH commands until the window or the byte bound is full.
    void topUp();
    // Forgets the commands sent ahead; the connection drains their answers.
    void dropAhead();
    // Ends the expected sequence (another command or position comes next).
    void discardAhead();
    int aheadInFlight() const;
    qint64 aheadBytes() const;
    // Waits, with the abort check and progress, until `ready`; false when stopped.
    bool waitUntil(const std::function<bool()> &ready);
    void wake();
    // Waits for the command; false when it failed, was refused or was aborted.
    bool run(const ImapCommandPtr &command, AbortPolicy policy, int capMs = 0);
    bool askAbort();
    void reportProgress();
    void setOutcome(const ImapCommand &command);
    void setError(const QString &text);
    void setFailure(ImapFailure::Kind kind, const QString &reason);
    // The failure a finished command stands for (kind None when it succeeded).
    void setFailureOf(const ImapCommand &command);

    ImapClientOptions m_options;
    ImapConnection m_connection;
    ImapEvents *m_receiver = nullptr;
    bool m_useTls = true;
    qint32 m_port = 0;
    bool m_selected = false;
    int m_lastPercent = -1;
    QString m_password;  // only to scrub it from every diagnostic
    QString m_lastError;
    ImapFailure m_failure;
    QHash<QString, QByteArray> m_undecodableNames; // as listed, for selecting them

    // The positions announced by expectFetches and what was sent for them.
    bool m_expecting = false;
    bool m_stopped = false;     // a Stop came during the sequence: nothing more is sent
    bool m_halted = false;      // the server refused for the whole account: nothing more is sent
    qint64 m_expectNext = 0;    // the position the caller fetches next
    qint64 m_expectLast = 0;
    qint64 m_requestNext = 0;   // the first position not yet asked for
    int m_batch = 1;            // positions in the next command
    bool m_toppingUp = false;
    std::deque<Ahead> m_ahead;  // in position order
    // Texts taken out of m_ahead and being decoded on a worker thread.
    struct Decoding
    {
        QString shownText; // the FETCH that brought it
        QFuture<ImapEmail> email;
    };
    std::map<qint64, Decoding> m_decoding;
    static constexpr std::size_t DecodeAhead = 8;
    static constexpr qsizetype DecodeAheadMaxBytes = 512 * 1024;
    QEventLoop *m_wait = nullptr;
};
