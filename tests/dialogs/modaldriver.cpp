#include "tests/dialogs/modaldriver.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QWidget>

namespace {

bool g_actionRan = false;
// Polls and watchdogs of an earlier test must not act on a later test's dialogs.
int g_generation = 0;

void poll(const std::function<void(QWidget *)> &action, QDeadlineTimer deadline, int generation)
{
    if (generation != g_generation)
        return;
    if (QWidget *modal = QApplication::activeModalWidget()) {
        g_actionRan = true;
        action(modal);
        return;
    }
    if (!deadline.hasExpired())
        QTimer::singleShot(10, [action, deadline, generation] { poll(action, deadline, generation); });
}

} // namespace

void whenModalOpens(std::function<void(QWidget *modal)> action)
{
    g_actionRan = false;
    const int generation = ++g_generation;
    const QDeadlineTimer deadline(5000);
    QTimer::singleShot(0, [action, deadline, generation] { poll(action, deadline, generation); });
    // A failed check inside an action must not leave the test hanging in exec().
    QTimer::singleShot(15000, [generation] {
        if (generation == g_generation)
            closeLeftoverModals();
    });
}

void closeLeftoverModals()
{
    ++g_generation;
    for (int guard = 0; guard < 10; ++guard) {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        modal->close();
    }
}

bool modalActionRan()
{
    return g_actionRan;
}
