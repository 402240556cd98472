#pragma once

#include <QColor>
#include <QCursor>

class QWidget;

// The system's button-face colour (follows the user's colour scheme).
QColor buttonFaceColour();
// Gives a widget a solid background of `colour`.
void setBackground(QWidget *widget, const QColor &colour);
// True for the controls that take the window's background: option buttons,
// check boxes, frames and labels.
bool isPlainControl(const QWidget *widget);

// The optional skin: when "x/o.cjs" exists in the program folder, the main
// window and its plain controls take the button-face colour and the file is
// applied as a style sheet. Throws AppError when the skin cannot be loaded.
void ApplySkin(QWidget *mainWindow);
// The dialogs' look: button-face backgrounds for the window and its plain controls.
void ApplyButtonFaceColours(QWidget *window);

// Reads the hand pointer "HAND-M.CUR"; throws AppError when it is unreadable.
QCursor loadCursorFile(const QString &path);

// Ends the program at once (closing the main window does this). Tests replace it.
void endProgram();
void setProgramEndHandler(void (*handler)());
