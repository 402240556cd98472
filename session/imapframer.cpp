#include "session/imapframer.h"

#include <limits>

ImapFramer::ImapFramer(qint64 maxLiteral, int maxLine) : m_maxLiteral(maxLiteral), m_maxLine(maxLine) {}

void ImapFramer::reset()
{
    m_buffer.clear();
    m_start = 0;
    m_scanned = 0;
    m_current.clear();
    m_literalSize = 0;
    m_literalRemaining = 0;
    m_ready.clear();
    m_error.clear();
}

bool ImapFramer::feed(const QByteArray &bytes)
{
    if (failed())
        return false;
    m_buffer.append(bytes);
    // What is framed is only stepped over here and dropped once at the end:
    // removing each piece from the front moved the rest of a large read every time.
    while (!failed()) {
        if (m_literalRemaining > 0) {
            takeLiteralBytes();
            if (m_literalRemaining > 0)
                break;
            m_literalSize = 0;
        } else if (!takeLine()) {
            break;
        }
    }
    if (m_start == m_buffer.size())
        m_buffer.clear();
    else
        m_buffer.remove(0, m_start);
    m_scanned -= m_start;
    m_start = 0;
    return !failed();
}

void ImapFramer::takeLiteralBytes()
{
    const qint64 n = qMin<qint64>(m_literalRemaining, m_buffer.size() - m_start);
    if (n == 0)
        return;
    m_current.append(m_buffer.constData() + m_start, static_cast<int>(n));
    m_start += static_cast<int>(n);
    m_scanned = m_start;
    m_literalRemaining -= n;
}

bool ImapFramer::takeLine()
{
    const int lf = m_buffer.indexOf('\n', qMax(m_scanned, m_start));
    if (lf < 0) {
        m_scanned = m_buffer.size();
        if (m_buffer.size() - m_start > m_maxLine)
            m_error = QStringLiteral("server line longer than %1 bytes").arg(m_maxLine);
        return false;
    }
    int end = lf;
    if (end > m_start && m_buffer.at(end - 1) == '\r')
        --end;
    const QByteArray line = m_buffer.mid(m_start, end - m_start);
    m_start = lf + 1;
    m_scanned = m_start;
    if (line.size() > m_maxLine) {
        m_error = QStringLiteral("server line longer than %1 bytes").arg(m_maxLine);
        return false;
    }
    const qint64 literal = announcedLiteral(line);
    if (literal > m_maxLiteral || m_current.size() + line.size() + literal > m_maxLiteral + m_maxLine) {
        m_error = QStringLiteral("server announced a %1-byte literal, more than the %2 allowed")
                      .arg(literal).arg(m_maxLiteral);
        return false;
    }
    m_current.append(line);
    if (literal >= 0) {
        m_current.append("\r\n");
        m_current.reserve(m_current.size() + static_cast<int>(literal) + 64);
        m_literalSize = literal;
        m_literalRemaining = literal;
        return true;
    }
    m_ready.append(m_current);
    m_current.clear();
    return true;
}

qint64 ImapFramer::announcedLiteral(const QByteArray &line)
{
    if (!line.endsWith('}'))
        return -1;
    const int open = line.lastIndexOf('{');
    if (open < 0)
        return -1;
    QByteArray digits = line.mid(open + 1, line.size() - open - 2);
    if (digits.endsWith('+'))
        digits.chop(1);
    // Text that merely ends in braces is no literal.
    if (digits.isEmpty())
        return -1;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return -1;
    }
    // More digits than fit are simply too large.
    return digits.size() > 18 ? std::numeric_limits<qint64>::max() : digits.toLongLong();
}
