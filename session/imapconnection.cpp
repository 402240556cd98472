#include "session/imapconnection.h"

#include <QSslConfiguration>
#include <QSslSocket>

namespace {

constexpr int MaxQuotedLength = 1024;

bool isPlainAtomChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7f)
        return false;
    return !QByteArray("(){%*\"\\]").contains(c);
}

QByteArray quoted(const QByteArray &text)
{
    QByteArray out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out.append('\\');
        out.append(c);
    }
    out.append('"');
    return out;
}

// "[CODE arguments] text" of a status response, as the server wrote it.
QByteArray statusWords(const ImapResponse &response)
{
    QByteArray words;
    if (!response.code.isEmpty()) {
        words = '[' + response.code;
        if (!response.codeArguments.isEmpty())
            words += ' ' + response.codeArguments;
        words += ']';
    }
    if (!response.text.isEmpty())
        words += (words.isEmpty() ? "" : " ") + response.text;
    return words;
}

QString seconds(int ms)
{
    return ms == 1000 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(ms / 1000.0);
}

// The message text in a FETCH response's items, or nullptr.
const ImapValue *fetchedText(const QList<ImapValue> &items)
{
    for (int i = 0; i + 1 < items.size(); i += 2) {
        if (items.at(i).text.toUpper() == "BODY[]" && items.at(i + 1).kind == ImapValue::Kind::String)
            return &items.at(i + 1);
    }
    return nullptr;
}

} // namespace

QString ImapCommand::outcomeText() const
{
    if (state == State::Failed || state == State::Pending)
        return failure.isEmpty() ? QStringLiteral("no answer") : failure;
    QString text = imapStatusName(tagged.status);
    if (!tagged.code.isEmpty())
        text += QStringLiteral(" [%1]").arg(QString::fromUtf8(tagged.code));
    if (!tagged.text.isEmpty())
        text += QLatin1Char(' ') + QString::fromUtf8(tagged.text);
    return text;
}

QByteArray ImapCommand::serverWords() const
{
    return statusWords(tagged);
}

ImapTransmit howToTransmit(const QByteArray &text, bool atomAllowed)
{
    if (text.size() > MaxQuotedLength)
        return ImapTransmit::Literal;
    bool atom = atomAllowed && !text.isEmpty() && text.toUpper() != "NIL";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 || c == '\r' || c == '\n' || c == '\0')
            return ImapTransmit::Literal;
        if (!isPlainAtomChar(c))
            atom = false;
    }
    return atom ? ImapTransmit::Atom : ImapTransmit::Quoted;
}

// Assembles a command's bytes; a synchronising literal starts a new segment
// that is sent only after the server's continuation.
class ImapConnection::Builder
{
public:
    explicit Builder(bool literalPlus) : m_literalPlus(literalPlus) { m_segments.append(QByteArray()); }

    Builder &raw(const QByteArray &bytes)
    {
        m_segments.last().append(bytes);
        return *this;
    }

    Builder &string(const QByteArray &text, bool atomAllowed = false)
    {
        switch (howToTransmit(text, atomAllowed)) {
        case ImapTransmit::Atom:
            return raw(text);
        case ImapTransmit::Quoted:
            return raw(quoted(text));
        case ImapTransmit::Literal:
            break;
        }
        if (m_literalPlus) {
            raw("{" + QByteArray::number(text.size()) + "+}\r\n" + text);
        } else {
            raw("{" + QByteArray::number(text.size()) + "}\r\n");
            m_segments.append(text);
        }
        return *this;
    }

    QList<QByteArray> finish()
    {
        m_segments.last().append("\r\n");
        return m_segments;
    }

private:
    bool m_literalPlus;
    QList<QByteArray> m_segments;
};

ImapConnection::ImapConnection(QObject *parent) : QObject(parent), m_socket(new QSslSocket(this))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ImapConnection::onTimeout);
    connect(m_socket, &QSslSocket::connected, this, [this] {
        if (!m_tls)
            onConnected();
    });
    connect(m_socket, &QSslSocket::encrypted, this, &ImapConnection::onConnected);
    connect(m_socket, &QSslSocket::readyRead, this, &ImapConnection::onReadyRead);
    connect(m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError> &errors) {
        QStringList texts;
        for (const QSslError &error : errors)
            texts.append(error.errorString());
        m_sslErrorText = texts.join(QStringLiteral("; "));
    });
    connect(m_socket, &QSslSocket::errorOccurred, this, &ImapConnection::onSocketError);
    connect(m_socket, &QSslSocket::disconnected, this, [this] {
        onReadyRead(); // what arrived before the close still counts
        if (m_state != State::Closed)
            failAll(m_byeText.isEmpty() ? QStringLiteral("the server closed the connection")
                                        : QStringLiteral("the server closed the connection: BYE ")
                                              + QString::fromUtf8(m_byeText));
    });
}

ImapConnection::~ImapConnection()
{
    m_state = State::Closed;
    m_socket->abort();
}

void ImapConnection::setTimeouts(int connectMs, int responseMs)
{
    m_connectTimeoutMs = connectMs;
    m_responseTimeoutMs = responseMs;
}

ImapCommandPtr ImapConnection::open(const QString &host, quint16 port)
{
    close(QStringLiteral("a new connection was opened"));
    m_framer = ImapFramer(m_maxLiteral);
    m_sslErrorText.clear();
    m_host = host;
    m_byeText.clear();
    m_capabilities.clear();
    m_exists = 0;
    m_greeting = std::make_shared<ImapCommand>();
    m_greeting->shownText = QStringLiteral("connect to %1:%2").arg(host).arg(port);
    m_state = State::Connecting;
    if (m_tls) {
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.addCaCertificates(m_extraCas);
        config.setPeerVerifyMode(QSslSocket::VerifyPeer);
        m_socket->setSslConfiguration(config);
        m_socket->connectToHostEncrypted(host, port);
    } else {
        m_socket->connectToHost(host, port);
    }
    rearmTimer();
    return m_greeting;
}

void ImapConnection::close(const QString &reason)
{
    if (m_state == State::Closed)
        return;
    failAll(reason);
}

bool ImapConnection::hasCapability(const QByteArray &name) const
{
    return m_capabilities.contains(name.toUpper());
}

int ImapConnection::literalPercent() const
{
    if (m_framer.literalSize() <= 0)
        return -1;
    return static_cast<int>(m_framer.literalReceived() * 100 / m_framer.literalSize());
}

void ImapConnection::onConnected()
{
    if (m_state == State::Connecting) {
        m_state = State::AwaitingGreeting;
        rearmTimer();
    }
}

void ImapConnection::onSocketError()
{
    if (m_state == State::Closed)
        return;
    onReadyRead(); // what arrived before the error still counts
    if (m_state == State::Closed)
        return;
    QString reason = m_socket->errorString();
    if (!m_sslErrorText.isEmpty())
        reason = QStringLiteral("the server's TLS certificate was refused: ") + m_sslErrorText;
    else if (m_socket->error() == QAbstractSocket::HostNotFoundError)
        reason = QStringLiteral("the server %1 was not found (host not found)").arg(m_host);
    else if (m_socket->error() == QAbstractSocket::ConnectionRefusedError)
        reason = QStringLiteral("the server %1 refused the connection").arg(m_host);
    else if (m_socket->error() == QAbstractSocket::RemoteHostClosedError && !m_byeText.isEmpty())
        reason = QStringLiteral("the server closed the connection: BYE ") + QString::fromUtf8(m_byeText);
    else if (m_socket->error() == QAbstractSocket::RemoteHostClosedError)
        reason = QStringLiteral("the server closed the connection");
    failAll(reason);
}

void ImapConnection::onTimeout()
{
    const bool connecting = m_state == State::Connecting;
    failAll(connecting ? QStringLiteral("no connection to the server within %1").arg(seconds(m_connectTimeoutMs))
                       : QStringLiteral("no answer from the server within %1").arg(seconds(m_responseTimeoutMs)));
}

void ImapConnection::rearmTimer()
{
    const bool waiting = m_state == State::Connecting || m_state == State::AwaitingGreeting || !m_inFlight.isEmpty();
    if (!waiting || m_state == State::Closed) {
        m_timer.stop();
        return;
    }
    int interval = m_state == State::Connecting ? m_connectTimeoutMs : m_responseTimeoutMs;
    // A big literal may pause between pieces longer than a short reply would.
    if (m_framer.literalSize() > 1024 * 1024)
        interval *= 2;
    m_timer.start(interval);
}

void ImapConnection::onReadyRead()
{
    // A callback run while responses are handled may let events run again.
    if (m_reading)
        return;
    m_reading = true;
    while (m_state != State::Closed && m_socket->bytesAvailable() > 0) {
        rearmTimer();
        if (!m_framer.feed(m_socket->readAll())) {
            failAll(QStringLiteral("refused the server's response: ") + m_framer.errorText());
            break;
        }
        while (m_state != State::Closed && m_framer.hasResponse())
            handleResponse(m_framer.takeResponse());
    }
    m_reading = false;
}

void ImapConnection::handleResponse(const QByteArray &raw)
{
    ImapResponse response;
    try {
        response = ImapParser::parseResponse(raw);
    } catch (const ImapParseError &error) {
        failAll(QStringLiteral("unreadable server response (%1): %2")
                    .arg(QString::fromStdString(error.what()), QString::fromUtf8(raw.left(80))));
        return;
    }
    if (m_state == State::AwaitingGreeting) {
        handleGreeting(response);
        return;
    }
    switch (response.kind) {
    case ImapResponse::Kind::Tagged:
        handleTagged(response, raw);
        break;
    case ImapResponse::Kind::Untagged:
        handleUntagged(response, raw);
        break;
    case ImapResponse::Kind::Continuation:
        handleContinuation();
        break;
    }
}

void ImapConnection::handleGreeting(const ImapResponse &response)
{
    const bool welcome = response.kind == ImapResponse::Kind::Untagged
        && (response.status == ImapResponse::Status::Ok || response.status == ImapResponse::Status::Preauth);
    if (!welcome) {
        const QString said = response.status == ImapResponse::Status::Bye
            ? QStringLiteral("the server refused the connection: BYE ") + QString::fromUtf8(statusWords(response))
            : QStringLiteral("the server sent no IMAP greeting");
        failAll(said);
        return;
    }
    noteCapabilities(response);
    m_state = State::Open;
    ImapCommandPtr greeting = std::move(m_greeting);
    greeting->tagged = response;
    greeting->state = ImapCommand::State::Ok;
    rearmTimer();
    sendQueued();
    if (greeting->onFinished)
        greeting->onFinished();
}

void ImapConnection::handleTagged(const ImapResponse &response, const QByteArray &raw)
{
    ImapCommandPtr command;
    for (const ImapCommandPtr &candidate : std::as_const(m_inFlight)) {
        if (candidate->tag == response.tag && candidate->nextSegment > 0) {
            command = candidate;
            break;
        }
    }
    if (!command) {
        failAll(QStringLiteral("the server answered a command never sent: ") + QString::fromUtf8(raw.left(80)));
        return;
    }
    noteCapabilities(response);
    command->tagged = response;
    command->taggedLine = raw;
    command->state = response.status == ImapResponse::Status::Ok ? ImapCommand::State::Ok
        : response.status == ImapResponse::Status::No            ? ImapCommand::State::No
                                                                  : ImapCommand::State::Bad;
    if (m_awaitingContinuation == command) {
        // The server refused a literal before taking it.
        m_awaitingContinuation.reset();
        m_sendQueue.removeAll(command);
    }
    m_inFlight.removeAll(command);
    rearmTimer();
    sendQueued();
    finish(command);
}

void ImapConnection::handleUntagged(const ImapResponse &response, const QByteArray &raw)
{
    if (response.status == ImapResponse::Status::Bye)
        m_byeText = statusWords(response);
    if (response.status != ImapResponse::Status::None && (response.code == "ALERT" || response.code == "WEBALERT")) {
        for (const ImapCommandPtr &command : std::as_const(m_inFlight))
            command->alerts.append(statusWords(response));
    }
    if (response.name == "EXISTS")
        m_exists = response.number;
    if (response.name == "CAPABILITY")
        m_capabilities = response.text.toUpper().split(' ');
    noteCapabilities(response);
    const QList<ImapCommandPtr> inFlight = m_inFlight;
    for (const ImapCommandPtr &command : inFlight) {
        if (command->takeUntagged && command->takeUntagged(response, raw))
            break;
    }
}

void ImapConnection::handleContinuation()
{
    if (!m_awaitingContinuation) {
        failAll(QStringLiteral("the server asked for data no command has"));
        return;
    }
    ImapCommandPtr command = std::move(m_awaitingContinuation);
    writeSegment(command);
    sendQueued();
}

void ImapConnection::noteCapabilities(const ImapResponse &response)
{
    if (response.code == "CAPABILITY")
        m_capabilities = response.codeArguments.toUpper().split(' ');
}

ImapCommandPtr ImapConnection::submit(const QString &shownText, Builder &builder)
{
    auto command = std::make_shared<ImapCommand>();
    command->tag = 'A' + QByteArray::number(++m_tagCounter).rightJustified(3, '0');
    command->shownText = shownText;
    command->segments = builder.finish();
    command->segments.first().prepend(command->tag + ' ');
    if (m_state == State::Closed) {
        command->state = ImapCommand::State::Failed;
        command->failure = QStringLiteral("not connected");
        return command;
    }
    m_inFlight.append(command);
    m_sendQueue.append(command);
    rearmTimer();
    sendQueued();
    return command;
}

void ImapConnection::sendQueued()
{
    if (m_state != State::Open)
        return;
    while (!m_awaitingContinuation && !m_sendQueue.isEmpty())
        writeSegment(m_sendQueue.first());
}

void ImapConnection::writeSegment(const ImapCommandPtr &command)
{
    m_socket->write(command->segments.at(command->nextSegment));
    ++command->nextSegment;
    if (command->nextSegment < command->segments.size())
        m_awaitingContinuation = command;
    else
        m_sendQueue.removeAll(command);
}

void ImapConnection::finish(const ImapCommandPtr &command)
{
    if (command->onFinished)
        command->onFinished();
}

void ImapConnection::failAll(const QString &reason)
{
    m_state = State::Closed;
    m_timer.stop();
    m_socket->abort();
    m_framer.reset();
    QList<ImapCommandPtr> failed = std::move(m_inFlight);
    m_inFlight.clear();
    m_sendQueue.clear();
    m_awaitingContinuation.reset();
    if (m_greeting)
        failed.prepend(std::move(m_greeting));
    m_greeting.reset();
    for (const ImapCommandPtr &command : std::as_const(failed)) {
        command->state = ImapCommand::State::Failed;
        command->failure = reason;
    }
    for (const ImapCommandPtr &command : std::as_const(failed))
        finish(command);
}

ImapCommandPtr ImapConnection::raw(const QByteArray &text)
{
    Builder builder(false);
    builder.raw(text);
    auto command = submit(QString::fromUtf8(text), builder);
    command->takeUntagged = [cmd = command.get()](const ImapResponse &, const QByteArray &raw) {
        cmd->transcript.append(raw).append("\r\n");
        return true;
    };
    return command;
}

ImapCommandPtr ImapConnection::login(const QByteArray &user, const QByteArray &password)
{
    Builder builder(hasCapability("LITERAL+"));
    builder.raw("LOGIN ").string(user).raw(" ").string(password);
    return submit(QStringLiteral("LOGIN %1 (password hidden)").arg(QString::fromUtf8(user)), builder);
}

ImapCommandPtr ImapConnection::examine(const QByteArray &encodedName)
{
    Builder builder(hasCapability("LITERAL+"));
    builder.raw("EXAMINE ").string(encodedName);
    auto command = submit(QStringLiteral("EXAMINE ") + QString::fromUtf8(encodedName), builder);
    command->takeUntagged = [cmd = command.get()](const ImapResponse &response, const QByteArray &) {
        if (response.name != "EXISTS")
            return false;
        cmd->exists = response.number;
        return true;
    };
    return command;
}

ImapCommandPtr ImapConnection::fetchBody(qint64 number, bool byUid)
{
    Builder builder(false);
    const QByteArray verb = byUid ? "UID FETCH " : "FETCH ";
    builder.raw(verb + QByteArray::number(number) + " BODY.PEEK[]");
    auto command = submit(QString::fromLatin1(verb + QByteArray::number(number) + " BODY.PEEK[]"), builder);
    command->takeUntagged = [cmd = command.get(), number, byUid](const ImapResponse &response, const QByteArray &) {
        if (response.name != "FETCH" || response.values.isEmpty() || !response.values.first().isList())
            return false;
        const QList<ImapValue> &items = response.values.first().items;
        bool mine = !byUid && response.number == number;
        for (int i = 0; byUid && i + 1 < items.size(); i += 2) {
            if (items.at(i).text.toUpper() == "UID" && items.at(i + 1).text == QByteArray::number(number))
                mine = true;
        }
        if (!mine)
            return false;
        if (const ImapValue *body = fetchedText(items)) {
            cmd->hasBody = true;
            cmd->body = body->text;
        }
        return true;
    };
    return command;
}

ImapCommandPtr ImapConnection::fetchBodies(qint64 first, qint64 last)
{
    Builder builder(false);
    const QByteArray set = first == last ? QByteArray::number(first)
                                         : QByteArray::number(first) + ':' + QByteArray::number(last);
    builder.raw("FETCH " + set + " BODY.PEEK[]");
    auto command = submit(QString::fromLatin1("FETCH " + set + " BODY.PEEK[]"), builder);
    command->takeUntagged = [cmd = command.get(), first, last](const ImapResponse &response, const QByteArray &) {
        if (response.name != "FETCH" || response.number < first || response.number > last
            || response.values.isEmpty() || !response.values.first().isList())
            return false;
        // A second answer for a position belongs to a later command.
        if (cmd->bodies.contains(response.number))
            return false;
        const ImapValue *body = fetchedText(response.values.first().items);
        // Flags or other data of a position in the range: not a text.
        if (!body)
            return true;
        // Its caller gave up: the position is marked answered, the text dropped.
        if (cmd->abandoned) {
            cmd->bodies.insert(response.number, QByteArray());
            return true;
        }
        cmd->bodies.insert(response.number, body->text);
        cmd->bodyBytes += body->text.size();
        cmd->receivedBytes += body->text.size();
        if (cmd->onBody)
            cmd->onBody();
        return true;
    };
    return command;
}

ImapCommandPtr ImapConnection::list(const QByteArray &reference, const QByteArray &pattern)
{
    Builder builder(hasCapability("LITERAL+"));
    builder.raw("LIST ").string(reference).raw(" ").string(pattern);
    auto command = submit(QString::fromUtf8("LIST " + quoted(reference) + ' ' + quoted(pattern)), builder);
    command->takeUntagged = [cmd = command.get()](const ImapResponse &response, const QByteArray &) {
        if (response.name != "LIST")
            return false;
        // (flags) delimiter name; a line of another shape names nothing.
        if (response.values.size() != 3 || !response.values.at(2).isText())
            return true;
        ImapListedMailbox mailbox;
        mailbox.name = response.values.at(2).text;
        for (const ImapValue &flag : response.values.at(0).items)
            mailbox.attributes.append(flag.text);
        cmd->mailboxes.append(mailbox);
        return true;
    };
    return command;
}

ImapCommandPtr ImapConnection::fetchSizes(qint64 first, qint64 last)
{
    Builder builder(false);
    const QByteArray set = QByteArray::number(first) + ':' + QByteArray::number(last);
    builder.raw("FETCH " + set + " RFC822.SIZE");
    auto command = submit(QString::fromLatin1("FETCH " + set + " RFC822.SIZE"), builder);
    command->takeUntagged = [cmd = command.get(), first, last](const ImapResponse &response, const QByteArray &) {
        if (response.name != "FETCH" || response.number < first || response.number > last
            || response.values.isEmpty() || !response.values.first().isList())
            return false;
        const QList<ImapValue> &items = response.values.first().items;
        for (int i = 0; i + 1 < items.size(); i += 2) {
            bool ok = false;
            const qint64 size = items.at(i + 1).text.toLongLong(&ok);
            // A size the server cannot mean is not taken as one.
            if (items.at(i).text.toUpper() == "RFC822.SIZE" && ok && size >= 0)
                cmd->sizes.insert(response.number, size);
        }
        return true;
    };
    return command;
}

ImapCommandPtr ImapConnection::logout()
{
    Builder builder(false);
    builder.raw("LOGOUT");
    auto command = submit(QStringLiteral("LOGOUT"), builder);
    command->takeUntagged = [](const ImapResponse &response, const QByteArray &) {
        return response.status == ImapResponse::Status::Bye;
    };
    return command;
}
