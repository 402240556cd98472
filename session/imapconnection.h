#pragma once

#include <functional>
#include <memory>

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QTimer>

#include "session/imapframer.h"
#include "session/imapparser.h"

class QSslSocket;

// One mailbox of a LIST answer.
struct ImapListedMailbox
{
    QList<QByteArray> attributes; // as sent, e.g. "\\Noselect", "\\All"
    QByteArray name;              // still in modified UTF-7
};

// One tagged command from the moment it is queued until its tagged response
// (or the connection's failure) ends it. The command functions of
// ImapConnection fill in what their untagged data means.
struct ImapCommand
{
    enum class State { Pending, Ok, No, Bad, Failed };

    QByteArray tag;
    QString shownText;           // the command as logs may show it (no password)
    QList<QByteArray> segments;  // all but the last end in a synchronising literal
    int nextSegment = 0;

    // Offered every untagged response while the command is in flight; returns
    // true when it is this command's data.
    std::function<bool(const ImapResponse &, const QByteArray &raw)> takeUntagged;
    // Called once when the command ends, whatever the outcome.
    std::function<void()> onFinished;

    State state = State::Pending;
    ImapResponse tagged;
    QByteArray taggedLine;
    QString failure;             // why the connection failed it, in plain words
    // [ALERT] and [WEBALERT] lines that came untagged while it was in flight,
    // as "[CODE arguments] text": the server means them for the user.
    QList<QByteArray> alerts;
    bool abandoned = false;      // its caller gave up; its answer is drained and dropped

    // What the untagged data said.
    QByteArray transcript;       // raw untagged lines (raw commands)
    qint64 exists = -1;          // EXAMINE
    bool hasBody = false;        // FETCH
    QByteArray body;
    QHash<qint64, QByteArray> bodies; // FETCH of a range: the texts by position
    qint64 bodyBytes = 0;        // total size of `bodies`
    qint64 receivedBytes = 0;    // of every text received, taken or not
    // Called each time a text of a range arrives.
    std::function<void()> onBody;
    QList<ImapListedMailbox> mailboxes; // LIST
    QHash<qint64, qint64> sizes;     // FETCH ... RFC822.SIZE: bytes by position

    bool finished() const { return state != State::Pending; }
    // "OK text", "NO [CODE] text", or the connection failure.
    QString outcomeText() const;
    // The tagged answer after its status word, "[CODE arguments] text".
    QByteArray serverWords() const;
};

using ImapCommandPtr = std::shared_ptr<ImapCommand>;

// How one string argument is sent (Trojitá's howToTransmit).
enum class ImapTransmit { Atom, Quoted, Literal };
ImapTransmit howToTransmit(const QByteArray &text, bool atomAllowed);

// The connection: socket, framer, tag counter, the tagged commands in flight
// and the time-outs. Commands are asynchronous; several may be in flight.
// A dropped connection, a time-out or a protocol error fails every pending
// command at once and leaves the connection closed.
class ImapConnection : public QObject
{
    Q_OBJECT

public:
    explicit ImapConnection(QObject *parent = nullptr);
    ~ImapConnection() override;

    void setTls(bool useTls) { m_tls = useTls; }
    void setExtraCaCertificates(const QList<QSslCertificate> &certificates) { m_extraCas = certificates; }
    void setTimeouts(int connectMs, int responseMs);
    void setMaxLiteral(qint64 bytes) { m_maxLiteral = bytes; }

    // Starts a fresh connection; the returned command ends with the greeting.
    ImapCommandPtr open(const QString &host, quint16 port);
    // Drops the connection at once; pending commands fail with `reason`.
    void close(const QString &reason);
    bool isOpen() const { return m_state == State::Open; }
    bool hasCapability(const QByteArray &name) const;
    // The count of the mailbox last selected, as the server last said.
    qint64 exists() const { return m_exists; }
    // 0..100 of the literal being received, -1 when none.
    int literalPercent() const;

    ImapCommandPtr raw(const QByteArray &text);
    ImapCommandPtr login(const QByteArray &user, const QByteArray &password);
    ImapCommandPtr examine(const QByteArray &encodedName);
    ImapCommandPtr fetchBody(qint64 number, bool byUid);
    // FETCH first:last BODY.PEEK[] by position; the texts go to `bodies`.
    ImapCommandPtr fetchBodies(qint64 first, qint64 last);
    ImapCommandPtr list(const QByteArray &reference, const QByteArray &pattern);
    // FETCH first:last RFC822.SIZE by position; the sizes go to `sizes`.
    ImapCommandPtr fetchSizes(qint64 first, qint64 last);
    ImapCommandPtr logout();

private:
    enum class State { Closed, Connecting, AwaitingGreeting, Open };

    class Builder;
    ImapCommandPtr submit(const QString &shownText, Builder &builder);
    void sendQueued();
    void writeSegment(const ImapCommandPtr &command);
    void onConnected();
    void onReadyRead();
    void onSocketError();
    void onTimeout();
    void handleResponse(const QByteArray &raw);
    void handleGreeting(const ImapResponse &response);
    void handleTagged(const ImapResponse &response, const QByteArray &raw);
    void handleUntagged(const ImapResponse &response, const QByteArray &raw);
    void handleContinuation();
    void noteCapabilities(const ImapResponse &response);
    void finish(const ImapCommandPtr &command);
    void failAll(const QString &reason);
    void rearmTimer();

    QSslSocket *m_socket = nullptr;
    QTimer m_timer;
    ImapFramer m_framer;
    State m_state = State::Closed;
    bool m_tls = true;
    QList<QSslCertificate> m_extraCas;
    int m_connectTimeoutMs = 30000;
    int m_responseTimeoutMs = 30000;
    qint64 m_maxLiteral = ImapFramer::DefaultMaxLiteral;
    QString m_sslErrorText;
    QString m_host;
    QByteArray m_byeText;
    QList<QByteArray> m_capabilities;
    qint64 m_exists = 0;
    int m_tagCounter = 0;
    bool m_reading = false;
    ImapCommandPtr m_greeting;
    QList<ImapCommandPtr> m_inFlight;  // sent or queued, in order of issue
    QList<ImapCommandPtr> m_sendQueue; // not yet completely written
    ImapCommandPtr m_awaitingContinuation;
};
