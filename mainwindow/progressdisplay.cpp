#include "mainwindow/progressdisplay.h"

#include <utility>

ProgressDisplay::ProgressDisplay(Painter showOnScreen, QObject *parent)
    : QObject(parent)
    , m_showOnScreen(std::move(showOnScreen))
{
    m_due.setSingleShot(true);
    connect(&m_due, &QTimer::timeout, this, &ProgressDisplay::flush);
}

void ProgressDisplay::show(int percent, const QString &text)
{
    m_percent = percent;
    m_text = text;
    m_pending = true;
    const qint64 waited = m_sinceShown.isValid() ? m_sinceShown.elapsed() : IntervalMs;
    if (waited >= IntervalMs)
        flush();
    else if (!m_due.isActive())
        m_due.start(int(IntervalMs - waited));
}

void ProgressDisplay::flush()
{
    m_due.stop();
    if (!m_pending)
        return;
    m_pending = false;
    m_sinceShown.start();
    m_showOnScreen(m_percent, m_text);
}

