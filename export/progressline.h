#pragma once

#include <cstdio>

#include <QElapsedTimer>
#include <QString>

// The export's progress on stderr, painted at the rate a person reads: on a
// terminal one line rewritten in place a few times a second; otherwise a
// plain line every few seconds; nothing when quiet.
class ProgressLine
{
public:
    enum class Mode { Terminal, Lines, Quiet };
    static Mode modeFor(FILE *stream, bool quiet);

    ProgressLine(Mode mode, qint64 messages, qint64 bytes);
    // `done` of the messages and `bytes` of their size so far.
    void update(qint64 done, qint64 bytes);
    // Ends the line on a terminal (before other output).
    void finish();

    // "12.3 MB" (decimal megabytes, as Gmail states its limit).
    static QString megabytes(qint64 bytes);
    QString text(qint64 done, qint64 bytes, qint64 elapsedMs) const;

private:
    Mode m_mode;
    qint64 m_messages;
    qint64 m_bytes;
    QElapsedTimer m_clock;
    qint64 m_shownAtMs = -1;
    bool m_lineOpen = false;
};
