#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Turns the bytes a server sends, in whatever pieces they arrive, into
// complete responses: each response is its lines joined by CRLF with every
// literal's bytes read in after its "{N}" line, without the final CRLF.
// Pure state machine (reading a line / reading N literal bytes): the socket
// owner feeds it from readyRead and never waits.
class ImapFramer
{
public:
    static constexpr qint64 DefaultMaxLiteral = 64 * 1024 * 1024;
    static constexpr int DefaultMaxLine = 1024 * 1024;

    explicit ImapFramer(qint64 maxLiteral = DefaultMaxLiteral, int maxLine = DefaultMaxLine);

    // False once the stream broke a bound or the framing; then errorText() says why
    // and nothing more is accepted.
    bool feed(const QByteArray &bytes);
    bool hasResponse() const { return !m_ready.isEmpty(); }
    QByteArray takeResponse() { return m_ready.takeFirst(); }

    bool failed() const { return !m_error.isEmpty(); }
    QString errorText() const { return m_error; }

    // The literal being read now, for progress: both 0 when none.
    qint64 literalSize() const { return m_literalSize; }
    qint64 literalReceived() const { return m_literalSize - m_literalRemaining; }
    // True while part of a response has been received but not all of it.
    bool midResponse() const { return !m_current.isEmpty() || !m_buffer.isEmpty() || m_literalRemaining > 0; }

    void reset();

private:
    bool takeLine();
    void takeLiteralBytes();
    // Size announced by a "{N}" or "{N+}" at the end of `line`; -1 for none.
    static qint64 announcedLiteral(const QByteArray &line);

    qint64 m_maxLiteral;
    int m_maxLine;
    QByteArray m_buffer;   // bytes received, framed up to m_start
    int m_start = 0;
    int m_scanned = 0;     // how far m_buffer has been searched for LF
    QByteArray m_current;  // the response being assembled
    qint64 m_literalSize = 0;
    qint64 m_literalRemaining = 0;
    QList<QByteArray> m_ready;
    QString m_error;
};
