#pragma once

#include <functional>

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

// Progress reported once per message, shown at the rate a person reads: a
// repaint of the bar and its status line per message would cost more than
// the message. Changes reach the screen at most once per interval, the
// latest one winning; flush() shows a pending one at once, so the end of a
// command and every box see the exact state.
class ProgressDisplay : public QObject
{
    Q_OBJECT

public:
    static constexpr int IntervalMs = 100;

    using Painter = std::function<void(int percent, const QString &text)>;
    explicit ProgressDisplay(Painter showOnScreen, QObject *parent = nullptr);

    // Shows `percent` and `text` now, or within the interval.
    void show(int percent, const QString &text);
    // Shows a pending change now.
    void flush();

private:
    Painter m_showOnScreen;
    QElapsedTimer m_sinceShown;
    QTimer m_due;
    int m_percent = 0;
    QString m_text;
    bool m_pending = false;
};
