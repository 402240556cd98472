#include "export/progressline.h"

#include <unistd.h>

#include "app/commandline.h"

namespace {

constexpr qint64 kTerminalIntervalMs = 250;
constexpr qint64 kLinesIntervalMs = 5000;

QString duration(qint64 seconds)
{
    return seconds >= 3600 ? QStringLiteral("%1:%2:%3")
                                 .arg(seconds / 3600)
                                 .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                                 .arg(seconds % 60, 2, 10, QLatin1Char('0'))
                           : QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

ProgressLine::Mode ProgressLine::modeFor(FILE *stream, bool quiet)
{
    if (quiet)
        return Mode::Quiet;
    return isatty(fileno(stream)) ? Mode::Terminal : Mode::Lines;
}

ProgressLine::ProgressLine(Mode mode, qint64 messages, qint64 bytes)
    : m_mode(mode)
    , m_messages(messages)
    , m_bytes(bytes)
{
    m_clock.start();
}

QString ProgressLine::megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}

QString ProgressLine::text(qint64 done, qint64 bytes, qint64 elapsedMs) const
{
    QString line = QStringLiteral("%1 of %2 messages").arg(done).arg(m_messages);
    if (m_bytes > 0)
        line += QStringLiteral(", %1 of %2").arg(megabytes(bytes), megabytes(m_bytes));
    if (elapsedMs >= 1000) {
        const double perSecond = double(bytes) * 1000.0 / double(elapsedMs);
        line += QStringLiteral(", %1 MB/s").arg(perSecond / 1e6, 0, 'f', 1);
        // Time left from the bytes when the sizes are known, else from the count.
        const double part = m_bytes > 0 ? double(bytes) / double(m_bytes)
                                         : (m_messages > 0 ? double(done) / double(m_messages) : 0.0);
        if (part > 0.0 && part < 1.0)
            line += QStringLiteral(", %1 left").arg(duration(qint64(double(elapsedMs) / 1000.0 * (1.0 - part) / part)));
    }
    return line;
}

void ProgressLine::update(qint64 done, qint64 bytes)
{
    if (m_mode == Mode::Quiet)
        return;
    const qint64 now = m_clock.elapsed();
    const qint64 interval = m_mode == Mode::Terminal ? kTerminalIntervalMs : kLinesIntervalMs;
    // The last message is always shown, so the final state is exact.
    if (m_shownAtMs >= 0 && now - m_shownAtMs < interval && done < m_messages)
        return;
    m_shownAtMs = now;
    if (m_mode == Mode::Terminal) {
        printText(stderr, QStringLiteral("\r\033[K") + text(done, bytes, now));
        m_lineOpen = true;
    } else {
        printText(stderr, text(done, bytes, now) + QLatin1Char('\n'));
    }
}

void ProgressLine::finish()
{
    if (m_lineOpen)
        printText(stderr, QStringLiteral("\n"));
    m_lineOpen = false;
}
