#include "session/tlsimapclient.h"

#include <algorithm>
#include <limits>
#include <utility>

#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QSslCertificate>
#include <QtConcurrent/QtConcurrentRun>

#include "session/messagedecoder.h"
#include "session/mutf7.h"

namespace {

constexpr int LogoutCapMs = 2000;

// A refusal for the whole account rather than for one message: asking on
// only adds to what the account has already exceeded.
bool isAccountWide(const ImapCommand &command)
{
    const bool refused = command.state == ImapCommand::State::No || command.state == ImapCommand::State::Bad;
    const QByteArray &code = command.tagged.code;
    return refused && (code == "OVERQUOTA" || code == "LIMIT" || code == "UNAVAILABLE");
}

// "the server closed the connection" -> "The server closed the connection."
QString sentence(QString text)
{
    if (text.isEmpty())
        return text;
    text[0] = text[0].toUpper();
    if (!QStringLiteral(".!?)").contains(text.back()))
        text += QLatin1Char('.');
    return text;
}

QList<QSslCertificate> readCaFile(const QString &path, QString *error)
{
    if (path.isEmpty())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the CA file %1: %2").arg(path, file.errorString());
        return {};
    }
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
    if (certificates.isEmpty())
        *error = QStringLiteral("no PEM certificate in the CA file %1").arg(path);
    return certificates;
}

} // namespace

TlsImapClient::TlsImapClient(const ImapClientOptions &options) : m_options(options)
{
    m_connection.setTimeouts(options.connectTimeoutMs, options.responseTimeoutMs);
}

TlsImapClient::~TlsImapClient()
{
    m_receiver = nullptr;
    discardAhead();
    m_connection.close(QStringLiteral("the client was closed"));
}

qint32 TlsImapClient::connectToServer(const QString &host)
{
    discardAhead();
    m_selected = false;
    QString caError;
    m_connection.setExtraCaCertificates(readCaFile(m_options.extraCaFile, &caError));
    if (!caError.isEmpty()) {
        setError(QStringLiteral("connect to %1: %2").arg(host, caError));
        setFailure(ImapFailure::Kind::ConnectionLost, sentence(caError));
        return 0;
    }
    m_connection.setTls(m_useTls);
    const quint16 port = m_port > 0 && m_port <= 65535 ? static_cast<quint16>(m_port) : (m_useTls ? 993 : 143);
    const ImapCommandPtr greeting = m_connection.open(host, port);
    return run(greeting, AbortPolicy::Close) ? StatusOk : 0;
}

QString TlsImapClient::rawCommand(const QString &command)
{
    const QByteArray text = command.toUtf8();
    if (text.isEmpty() || text.contains('\r') || text.contains('\n') || text.contains('\0')) {
        setError(QStringLiteral("%1: refused, a command is one non-empty line").arg(command.left(40)));
        setFailure(ImapFailure::Kind::Refused, QStringLiteral("A command is one non-empty line."));
        return QString();
    }
    discardAhead();
    const ImapCommandPtr sent = m_connection.raw(text);
    if (!run(sent, AbortPolicy::Abandon))
        return QString();
    return QString::fromUtf8(sent->transcript + sent->taggedLine);
}

qint32 TlsImapClient::login(const QString &user, const QString &password)
{
    discardAhead();
    m_password = password;
    m_selected = false;
    return run(m_connection.login(user.toUtf8(), password.toUtf8()), AbortPolicy::Close) ? StatusOk : 0;
}

qint32 TlsImapClient::selectMailbox(const QString &name)
{
    discardAhead();
    m_selected = false;
    const ImapCommandPtr command =
        m_connection.examine(m_undecodableNames.value(name, encodeMailboxName(name)));
    if (!run(command, AbortPolicy::Abandon))
        return 0;
    m_selected = true;
    return StatusOk;
}

qint32 TlsImapClient::messageCount()
{
    if (!m_selected || !m_connection.isOpen())
        return 0;
    return static_cast<qint32>(qBound(qint64(0), m_connection.exists(), qint64(std::numeric_limits<qint32>::max())));
}

std::unique_ptr<ImapEmail> TlsImapClient::fetchMessage(qint32 number, bool byUid)
{
    const QString shown = QStringLiteral("FETCH %1").arg(number);
    if (!m_selected || !m_connection.isOpen()) {
        setError(shown + (m_selected ? QStringLiteral(": the connection is closed")
                                     : QStringLiteral(": no mailbox is selected")));
        setFailure(m_selected ? ImapFailure::Kind::ConnectionLost : ImapFailure::Kind::Refused,
                   m_selected ? QStringLiteral("The connection to the server is closed.")
                              : QStringLiteral("No mailbox is open."));
        return nullptr;
    }
    if (number < 1 || (!byUid && number > m_connection.exists())) {
        setError(shown + QStringLiteral(": no such message, the mailbox holds %1").arg(m_connection.exists()));
        setFailure(ImapFailure::Kind::NoSuchMessage,
                   QStringLiteral("The mailbox holds no message %1.").arg(number));
        return nullptr;
    }
    if (!byUid && m_expecting && number == m_expectNext)
        return fetchAhead(number);
    discardAhead();
    return fetchOne(number, byUid);
}

std::unique_ptr<ImapEmail> TlsImapClient::fetchOne(qint32 number, bool byUid)
{
    m_lastPercent = -1;
    const ImapCommandPtr command = m_connection.fetchBody(number, byUid);
    if (!run(command, AbortPolicy::Abandon))
        return nullptr;
    if (!command->hasBody) {
        setError(command->shownText + QStringLiteral(": the server sent no message text (")
                 + command->outcomeText() + QLatin1Char(')'));
        setFailure(ImapFailure::Kind::Refused, QStringLiteral("The server sent no text for message %1 (it said: %2).")
                                                   .arg(number).arg(QString::fromUtf8(command->serverWords())));
        return nullptr;
    }
    return decoded(command->body);
}

std::unique_ptr<ImapEmail> TlsImapClient::decoded(const QByteArray &body)
{
    return delivered(decodeMessage(body));
}

std::unique_ptr<ImapEmail> TlsImapClient::delivered(ImapEmail email)
{
    m_failure = ImapFailure();
    if (ImapEvents *receiver = m_receiver; receiver && m_lastPercent != 100)
        receiver->percentDone(100);
    return std::make_unique<ImapEmail>(std::move(email));
}

void TlsImapClient::decodeAheadFrom(qint64 position)
{
    for (; m_decoding.size() < DecodeAhead && position <= m_expectLast; ++position) {
        if (m_decoding.count(position))
            continue;
        const auto entry = std::find_if(m_ahead.begin(), m_ahead.end(), [&](const Ahead &ahead) {
            return ahead.first <= position && position <= ahead.last;
        });
        if (entry == m_ahead.end())
            return;
        ImapCommand &command = *entry->command;
        const auto body = command.bodies.find(position);
        // Not here yet, or empty; a large text is decoded in turn instead, so
        // that no second thread's heap grows by the size of the largest message.
        if (body == command.bodies.end() || body->isEmpty() || body->size() > DecodeAheadMaxBytes)
            return;
        // The empty text left behind marks the position answered, as taking it does.
        const QByteArray text = std::exchange(*body, QByteArray());
        command.bodyBytes -= text.size();
        m_decoding.emplace(position, Decoding{command.shownText, QtConcurrent::run(decodeMessage, text)});
    }
}

void TlsImapClient::expectFetches(qint32 first, qint32 last)
{
    discardAhead();
    if (m_options.fetchWindow <= 1 || !m_selected || !m_connection.isOpen())
        return;
    const qint64 from = qMax<qint64>(first, 1);
    const qint64 to = qMin<qint64>(last, m_connection.exists());
    if (from > to)
        return;
    m_expecting = true;
    m_expectNext = from;
    m_expectLast = to;
    m_requestNext = from;
    m_batch = 1;
}

std::unique_ptr<ImapEmail> TlsImapClient::fetchAhead(qint32 number)
{
    const QString shown = QStringLiteral("FETCH %1 BODY.PEEK[]").arg(number);
    // Whatever this call ends with, the caller goes on with the next position.
    struct Advance
    {
        qint64 &next;
        qint64 to;
        ~Advance() { next = to; }
    } advance{m_expectNext, qint64(number) + 1};
    m_lastPercent = -1;
    // Asked once per message, as when each message is fetched on its own.
    bool stopped = askAbort();
    if (!stopped && (m_stopped || (m_halted && number >= m_requestNext))) {
        // The caller carries on after a Stop it has taken back, or after an
        // account-wide refusal: ask afresh from here.
        m_stopped = false;
        m_halted = false;
        m_requestNext = number;
        m_batch = 1;
    }
    ImapCommandPtr command;
    qint64 first = 0;
    qint64 last = 0;
    const auto ready = [&] {
        topUp();
        command.reset();
        if (m_decoding.count(number))
            return true;
        for (const Ahead &entry : m_ahead) {
            if (entry.first <= number && number <= entry.last) {
                command = entry.command;
                first = entry.first;
                last = entry.last;
                break;
            }
        }
        if (!command)
            return !m_expecting || !m_connection.isOpen();

        return command->bodies.contains(number) || command->finished() || command->abandoned;
    };
    if (!stopped)
        stopped = !waitUntil(ready);
    if (stopped) {
        // What came ahead is dropped; the rest of the sequence is not asked for
        // while the Stop stands.
        dropAhead();
        m_stopped = m_expecting;
        setError(shown + QStringLiteral(": stopped by the user"));
        setFailure(ImapFailure::Kind::Stopped, QStringLiteral("Stopped by the user."));
        return nullptr;
    }
    if (const auto pending = m_decoding.find(number); pending != m_decoding.end()) {
        QFuture<ImapEmail> email = pending->second.email;
        setError(shown + QStringLiteral(": OK, as part of ") + pending->second.shownText);
        m_decoding.erase(pending);
        decodeAheadFrom(qint64(number) + 1);
        topUp();
        return delivered(email.result());
    }
    if (!command) {
        setError(shown + (m_connection.isOpen() ? QStringLiteral(": interrupted by another command")
                                                : QStringLiteral(": the connection is closed")));
        setFailure(m_connection.isOpen() ? ImapFailure::Kind::Refused : ImapFailure::Kind::ConnectionLost,
                   m_connection.isOpen() ? QStringLiteral("Interrupted by another command.")
                                         : QStringLiteral("The connection to the server is closed."));
        return nullptr;
    }
    if (command->abandoned) {
        setError(shown + QStringLiteral(": interrupted by another command"));
        setFailure(ImapFailure::Kind::Refused, QStringLiteral("Interrupted by another command."));
        return nullptr;
    }
    if (command->bodies.contains(number)) {
        const QByteArray body = std::exchange(command->bodies[number], QByteArray());
        command->bodyBytes -= body.size();
        setError(shown + QStringLiteral(": OK, as part of ") + command->shownText);
        decodeAheadFrom(qint64(number) + 1);
        topUp();
        return decoded(body);
    }
    if (command->state == ImapCommand::State::Failed || first == last || isAccountWide(*command)) {
        // Its own command, a connection failure or a refusal for the whole
        // account: that answer is this message's.
        const bool noText = command->state == ImapCommand::State::Ok;
        setError(noText ? command->shownText + QStringLiteral(": the server sent no message text (")
                              + command->outcomeText() + QLatin1Char(')')
                        : command->shownText + QStringLiteral(": ") + command->outcomeText());
        if (noText)
            setFailure(ImapFailure::Kind::Refused, QStringLiteral("The server sent no text for message %1 (it said: %2).")
                                                       .arg(number).arg(QString::fromUtf8(command->serverWords())));
        else
            setFailureOf(*command);
        return nullptr;
    }
    // The range's answer lacks this one message: its own command tells why.
    return fetchOne(number, false);
}

void TlsImapClient::topUp()
{
    if (!m_expecting || m_stopped || m_halted || m_toppingUp || !m_connection.isOpen())
        return;
    m_toppingUp = true;
    while (!m_ahead.empty() && m_ahead.front().last < m_expectNext && m_ahead.front().command->finished())
        m_ahead.pop_front();
    const int window = m_options.fetchWindow;
    while (m_requestNext <= m_expectLast && m_connection.isOpen() && aheadInFlight() < window
           && aheadBytes() < m_options.fetchAheadBytes) {
        const qint64 last = qMin(m_expectLast, m_requestNext + m_batch - 1);
        const Ahead entry{m_requestNext, last, m_connection.fetchBodies(m_requestNext, last)};
        entry.command->onBody = [this] { wake(); };
        entry.command->onFinished = [this, command = entry.command.get()] {
            // Every command sent after such an answer would be refused the same way.
            if (isAccountWide(*command))
                m_halted = true;
            topUp();
            wake();
        };
        m_ahead.push_back(entry);
        m_requestNext = last + 1;
        m_batch = qBound(1, m_batch * 2, qMax(1, m_options.fetchBatch));
    }
    m_toppingUp = false;
}

void TlsImapClient::dropAhead()
{
    // Workers still decoding finish on their own copies; their results are dropped.
    m_decoding.clear();
    for (const Ahead &entry : m_ahead) {
        ImapCommand &command = *entry.command;
        command.onBody = nullptr;
        command.onFinished = nullptr;
        command.abandoned = true;
        for (QByteArray &body : command.bodies)
            body = QByteArray();
        command.bodyBytes = 0;
    }
    m_ahead.clear();
}

void TlsImapClient::discardAhead()
{
    dropAhead();
    m_expecting = false;
    m_stopped = false;
    m_halted = false;
}

int TlsImapClient::aheadInFlight() const
{
    int count = 0;
    for (const Ahead &entry : m_ahead)
        count += entry.command->finished() ? 0 : 1;
    return count;
}

qint64 TlsImapClient::aheadBytes() const
{
    // The texts asked for but not here yet count at the mean size of those
    // received: counting only what arrived let every command in flight stream
    // its whole range into memory at once.
    qint64 bytes = 0;
    qint64 received = 0;
    qint64 receivedCount = 0;
    qint64 pending = 0;
    for (const Ahead &entry : m_ahead) {
        const ImapCommand &command = *entry.command;
        bytes += command.bodyBytes;
        received += command.receivedBytes;
        receivedCount += command.bodies.size();
        if (!command.finished())
            pending += qMax<qint64>(0, entry.last - entry.first + 1 - command.bodies.size());
    }
    return bytes + (receivedCount > 0 ? pending * received / receivedCount : 0);
}

bool TlsImapClient::waitUntil(const std::function<bool()> &ready)
{
    bool aborted = false;
    QEventLoop loop;
    QTimer heartbeat;
    heartbeat.setInterval(HeartbeatMs);
    QObject::connect(&heartbeat, &QTimer::timeout, &loop, [&] {
        if (askAbort())
            aborted = true;
        else
            reportProgress();
        loop.quit();
    });
    QEventLoop *const outer = std::exchange(m_wait, &loop);
    heartbeat.start();
    while (!aborted && !ready())
        loop.exec();
    m_wait = outer;
    return !aborted;
}

void TlsImapClient::wake()
{
    if (m_wait)
        m_wait->quit();
}

std::unique_ptr<ImapMailboxList> TlsImapClient::listMailboxes(const QString &reference, const QString &pattern)
{
    discardAhead();
    const ImapCommandPtr command = m_connection.list(encodeMailboxName(reference), encodeMailboxName(pattern));
    if (!run(command, AbortPolicy::Abandon))
        return nullptr;
    auto list = std::make_unique<ImapMailboxList>();
    for (const ImapListedMailbox &mailbox : std::as_const(command->mailboxes)) {
        bool valid = true;
        const QString name = decodeMailboxName(mailbox.name, &valid);
        // A name the server spelled wrongly is selected again by its own bytes.
        if (!valid)
            m_undecodableNames.insert(name, mailbox.name);
        list->names.append(name);
        QStringList attributes;
        for (const QByteArray &attribute : mailbox.attributes)
            attributes << QString::fromUtf8(attribute);
        list->attributes.append(attributes);
    }
    return list;
}

std::unique_ptr<ImapMessageSizes> TlsImapClient::messageSizes(qint32 first, qint32 last)
{
    if (!m_selected || !m_connection.isOpen()) {
        setError(QStringLiteral("FETCH RFC822.SIZE: ")
                 + (m_selected ? QStringLiteral("the connection is closed") : QStringLiteral("no mailbox is selected")));
        return nullptr;
    }
    auto sizes = std::make_unique<ImapMessageSizes>();
    // Positions beyond the mailbox have no size; asking for them is an error.
    const qint64 to = qMin<qint64>(last, m_connection.exists());
    if (qMax(first, 1) > to)
        return sizes;
    discardAhead();
    const ImapCommandPtr command = m_connection.fetchSizes(qMax(first, 1), to);
    if (!run(command, AbortPolicy::Abandon))
        return nullptr;
    for (auto size = command->sizes.cbegin(); size != command->sizes.cend(); ++size)
        sizes->bytes.insert(qint32(size.key()), size.value());
    return sizes;
}

QString TlsImapClient::lastErrorText() const
{
    return m_lastError;
}

void TlsImapClient::disconnectFromServer()
{
    discardAhead();
    m_selected = false;
    if (m_connection.isOpen())
        run(m_connection.logout(), AbortPolicy::Close, LogoutCapMs);
    m_connection.close(QStringLiteral("disconnected"));
}

bool TlsImapClient::run(const ImapCommandPtr &command, AbortPolicy policy, int capMs)
{
    bool aborted = false;
    bool capped = false;
    QEventLoop loop;
    command->onFinished = [&loop] { loop.quit(); };
    QTimer heartbeat;
    heartbeat.setInterval(HeartbeatMs);
    QObject::connect(&heartbeat, &QTimer::timeout, &loop, [&] {
        if (command->finished())
            return;
        if (askAbort()) {
            aborted = true;
            loop.quit();
            return;
        }
        reportProgress();
    });
    QTimer cap;
    cap.setSingleShot(true);
    QObject::connect(&cap, &QTimer::timeout, &loop, [&] {
        capped = true;
        loop.quit();
    });
    aborted = !command->finished() && askAbort();
    if (!aborted && !command->finished()) {
        heartbeat.start();
        if (capMs > 0)
            cap.start(capMs);
        loop.exec();
    }
    command->onFinished = nullptr;
    if (!command->finished()) {
        // Abandoned: either its answer is drained and dropped later, or the
        // connection goes, so nothing is ever left half-read.
        command->abandoned = true;
        setError(command->shownText + (aborted ? QStringLiteral(": stopped by the user") : QStringLiteral(": no answer in time")));
        setFailure(aborted ? ImapFailure::Kind::Stopped : ImapFailure::Kind::ConnectionLost,
                   aborted ? QStringLiteral("Stopped by the user.") : QStringLiteral("No answer from the server in time."));
        if (policy == AbortPolicy::Close || capped)
            m_connection.close(QStringLiteral("stopped by the user"));
        return false;
    }
    setOutcome(*command);
    return command->state == ImapCommand::State::Ok;
}

bool TlsImapClient::askAbort()
{
    qint32 abort = 0;
    // The receiver may change or go between two callbacks: read it afresh.
    if (ImapEvents *receiver = m_receiver)
        receiver->abortCheck(abort);
    return abort != 0;
}

void TlsImapClient::reportProgress()
{
    const int percent = m_connection.literalPercent();
    if (percent < 0 || percent == m_lastPercent)
        return;
    m_lastPercent = percent;
    if (ImapEvents *receiver = m_receiver)
        receiver->percentDone(percent);
}

void TlsImapClient::setOutcome(const ImapCommand &command)
{
    setError(command.shownText + QStringLiteral(": ") + command.outcomeText());
    setFailureOf(command);
}

void TlsImapClient::setFailureOf(const ImapCommand &command)
{
    switch (command.state) {
    case ImapCommand::State::Ok:
        setFailure(ImapFailure::Kind::None, QString());
        return;
    case ImapCommand::State::Pending:
    case ImapCommand::State::Failed:
        setFailure(ImapFailure::Kind::ConnectionLost, sentence(command.outcomeText()));
        return;
    case ImapCommand::State::No:
    case ImapCommand::State::Bad:
        break;
    }
    // RFC 3501 7.1: the text of an [ALERT] must reach the user, also an untagged one.
    QStringList words;
    for (const QByteArray &alert : command.alerts)
        words << QString::fromUtf8(alert);
    words << QString::fromUtf8(command.serverWords());
    setFailure(isAccountWide(command) ? ImapFailure::Kind::AccountLimit : ImapFailure::Kind::Refused,
               QStringLiteral("The server said: ") + words.join(QStringLiteral("\r\n")));
}

void TlsImapClient::setFailure(ImapFailure::Kind kind, const QString &reason)
{
    m_failure.kind = kind;
    m_failure.reason = reason;
    if (!m_password.isEmpty())
        m_failure.reason.replace(m_password, QStringLiteral("(password hidden)"));
}

void TlsImapClient::setError(const QString &text)
{
    m_lastError = text;
    if (!m_password.isEmpty())
        m_lastError.replace(m_password, QStringLiteral("(password hidden)"));
}
