#pragma once

#include <memory>

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

// One fetched message, decoded. Every text may be empty.
struct ImapEmail
{
    QString from;        // whole From text, name and address
    QString fromName;    // first sender's display name
    QString fromAddress; // first sender's address
    QString subject;
    QDateTime date;      // local time; invalid when missing or unparseable
    QString plainTextBody;
    QString htmlTextBody;
};

// The mailbox names in the server's order, UTF-8, each with the attributes
// LIST gave it ("\\Noselect", "\\All", ...), at the same index.
struct ImapMailboxList
{
    QStringList names;
    QList<QStringList> attributes;
    int count() const { return names.size(); }
    QString name(int index) const { return names.value(index); }
    // Compared ignoring letter case, as attributes are.
    bool hasAttribute(int index, const QString &attribute) const
    {
        return attributes.value(index).contains(attribute, Qt::CaseInsensitive);
    }
};

// Why the last operation failed: what the user is told, and whether a
// listing may go on with its next message.
struct ImapFailure
{
    enum class Kind {
        None,
        Refused,        // the server refused this one command
        NoSuchMessage,  // a position beyond the mailbox: nothing to list
        Stopped,        // the user's Stop
        AccountLimit,   // refused for the whole account ([OVERQUOTA], [LIMIT], [UNAVAILABLE])
        ConnectionLost, // closed, timed out, BYE, or never made
    };
    Kind kind = Kind::None;
    // For the user: the server's own words, or what happened in plain words.
    // Never contains the password.
    QString reason;

    // Nothing more can be asked of the server in this connection or account.
    bool endsListing() const { return kind == Kind::AccountLimit || kind == Kind::ConnectionLost; }
};

// What FETCH ... RFC822.SIZE said: the size in bytes of each position it answered.
struct ImapMessageSizes
{
    QHash<qint32, qint64> bytes;
    qint64 total() const
    {
        qint64 sum = 0;
        for (const qint64 size : bytes)
            sum += size;
        return sum;
    }
};

// Receives the client's callbacks while any operation runs.
class ImapEvents
{
public:
    virtual ~ImapEvents() = default;
    // Set `abort` non-zero to make the client abandon the running operation.
    virtual void abortCheck(qint32 &abort) = 0;
    // 0 to 100 of the running operation.
    virtual void percentDone(qint32 percent) = 0;
};

// The IMAP component every mail operation goes through. Calls look blocking to
// the caller; while they wait the client calls back through ImapEvents.
// A status is 1 for success, anything else for failure.
class ImapClient
{
public:
    static constexpr qint32 StatusOk = 1;

    virtual ~ImapClient() = default;

    virtual void setSsl(bool useTls) = 0;
    virtual void setPort(qint32 port) = 0;
    virtual qint32 connectToServer(const QString &host) = 0;
    // The server's whole response text; "" on failure.
    virtual QString rawCommand(const QString &command) = 0;
    virtual qint32 login(const QString &user, const QString &password) = 0;
    // Opens the mailbox read-only; count and fetch act on it afterwards.
    virtual qint32 selectMailbox(const QString &name) = 0;
    virtual qint32 messageCount() = 0;
    // nullptr when the message cannot be fetched. `byUid` False: the number is a position.
    virtual std::unique_ptr<ImapEmail> fetchMessage(qint32 number, bool byUid) = 0;
    // nullptr on failure.
    virtual std::unique_ptr<ImapMailboxList> listMailboxes(const QString &reference, const QString &pattern) = 0;
    // The sizes of positions first..last of the selected mailbox in one
    // command; nullptr on failure (a client that cannot ask fails).
    virtual std::unique_ptr<ImapMessageSizes> messageSizes(qint32 first, qint32 last)
    {
        Q_UNUSED(first);
        Q_UNUSED(last);
        return nullptr;
    }
    // A short diagnostic of the last operation; never contains the password.
    virtual QString lastErrorText() const = 0;
    // Why the last operation failed; kind None after a success.
    virtual ImapFailure lastFailure() const = 0;
    virtual void disconnectFromServer() = 0;

    // Binds the receiver of the callbacks (nullptr unbinds).
    virtual void setEventReceiver(ImapEvents *receiver) = 0;
    virtual ImapEvents *eventReceiver() const = 0;

    // A hint that positions first..last of the selected mailbox are about to be
    // fetched in order, so a client may fetch ahead. Results never change.
    virtual void expectFetches(qint32 first, qint32 last)
    {
        Q_UNUSED(first);
        Q_UNUSED(last);
    }
};

// Options of the real client that production and tests set differently.
struct ImapClientOptions
{
    QString extraCaFile;          // PEM file trusted besides the system store
    int responseTimeoutMs = 30000; // silence allowed before a command fails
    int connectTimeoutMs = 30000;
    // Fetching ahead after expectFetches: at most this many FETCH commands in
    // flight (1 or less: one command at a time, nothing ahead), each for at
    // most fetchBatch consecutive messages (the first ones for fewer, so the
    // first message comes at once), and no new one while the texts fetched
    // ahead and not yet taken, with those asked for and not yet here counted
    // at the mean size of the ones received, exceed fetchAheadBytes.
    int fetchWindow = 32;
    int fetchBatch = 64;
    qint64 fetchAheadBytes = 16 * 1024 * 1024; // several round trips of a fast link
};

// The program's client: our IMAP engine over TLS.
std::unique_ptr<ImapClient> createImapClient(const ImapClientOptions &options);
