#pragma once

#include <QCursor>
#include <QObject>

class ErrorTrap;
class QWidget;

// The pointer rule of a dialog: the hand pointer over push buttons when the
// hand cursor file was loaded, the default pointer over everything else, and
// no change while the dialog shows the busy pointer. Text boxes also select
// their whole text when they receive the focus.
class PointerRule : public QObject
{
    Q_OBJECT

public:
    explicit PointerRule(QWidget *window);

    // Throws AppError when the file cannot be read as a picture.
    void loadHandPointer(const QString &path);
    bool hasHandPointer() const { return m_hasHandPointer; }
    // Watches the window and every widget it holds now.
    void watchAll();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void watch(QWidget *widget);

    QWidget *m_window;
    QCursor m_handPointer;
    bool m_hasHandPointer = false;
};

// The first statements every dialog's load handler shares: the button-face
// look [100], the application's icon [iconStatement] and the optional hand
// pointer from "HAND-M.CUR" in the program's folder [106], [108].
void loadDialogAppearance(ErrorTrap &trap, QWidget *dialog, PointerRule &pointer, int iconStatement);
