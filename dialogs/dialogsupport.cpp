#include "dialogs/dialogsupport.h"

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/appearance.h"
#include "app/errortrap.h"
#include "app/paths.h"

PointerRule::PointerRule(QWidget *window)
    : QObject(window)
    , m_window(window)
{
}

void PointerRule::loadHandPointer(const QString &path)
{
    m_handPointer = loadCursorFile(path);
    m_hasHandPointer = true;
}

void PointerRule::watchAll()
{
    watch(m_window);
    for (QWidget *widget : m_window->findChildren<QWidget *>())
        watch(widget);
}

void PointerRule::watch(QWidget *widget)
{
    widget->setMouseTracking(true);
    widget->installEventFilter(this);
}

bool PointerRule::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove && m_window->cursor().shape() != Qt::WaitCursor) {
        if (qobject_cast<QPushButton *>(watched) && m_hasHandPointer)
            m_window->setCursor(m_handPointer);
        else
            m_window->setCursor(Qt::ArrowCursor);
    } else if (event->type() == QEvent::FocusIn) {
        // Queued: the line edit's own focus handling would undo an immediate selection.
        if (auto *box = qobject_cast<QLineEdit *>(watched))
            QTimer::singleShot(0, box, [box] { box->selectAll(); });
    }
    return QObject::eventFilter(watched, event);
}

void loadDialogAppearance(ErrorTrap &trap, QWidget *dialog, PointerRule &pointer, int iconStatement)
{
    trap.run(100, [&] { ApplyButtonFaceColours(dialog); });
    trap.run(iconStatement, [&] { dialog->setWindowIcon(QApplication::windowIcon()); });
    const QString handPointerPath = programFolder() + QStringLiteral("/HAND-M.CUR");
    if (trap.test(106, [&] { return FileExists(handPointerPath); }))
        trap.run(108, [&] { pointer.loadHandPointer(handPointerPath); });
}
