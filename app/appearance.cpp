#include "app/appearance.h"

#include <cstdlib>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QRadioButton>

#include "app/errortrap.h"
#include "app/paths.h"

namespace {

void (*g_endHandler)() = nullptr;

void recolourPlainControls(QWidget *window)
{
    const QColor face = buttonFaceColour();
    setBackground(window, face);
    const auto children = window->findChildren<QWidget *>();
    for (QWidget *child : children) {
        if (isPlainControl(child))
            setBackground(child, face);
    }
}

} // namespace

QColor buttonFaceColour()
{
    return QApplication::palette().color(QPalette::Button);
}

void setBackground(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

bool isPlainControl(const QWidget *widget)
{
    return qobject_cast<const QRadioButton *>(widget) || qobject_cast<const QCheckBox *>(widget)
        || qobject_cast<const QGroupBox *>(widget) || qobject_cast<const QLabel *>(widget);
}

void ApplySkin(QWidget *mainWindow)
{
    const QString skinPath = programFolder() + QStringLiteral("/x/o.cjs");
    if (!FileExists(skinPath))
        return;
    recolourPlainControls(mainWindow);
    QFile skin(skinPath);
    if (!skin.open(QIODevice::ReadOnly | QIODevice::Text))
        throw AppError(skin.errorString());
    const QString styleSheet = QString::fromUtf8(skin.readAll());
    if (skin.error() != QFileDevice::NoError)
        throw AppError(skin.errorString());
    mainWindow->setStyleSheet(styleSheet);
}

void ApplyButtonFaceColours(QWidget *window)
{
    recolourPlainControls(window);
}

QCursor loadCursorFile(const QString &path)
{
    QImageReader reader(path);
    const QImage image = reader.read();
    if (image.isNull())
        throw AppError(QStringLiteral("Invalid picture: %1").arg(reader.errorString()));
    return QCursor(QPixmap::fromImage(image), 0, 0);
}

void endProgram()
{
    if (g_endHandler) {
        g_endHandler();
        return;
    }
    QApplication::closeAllWindows();
    // Running operations stop where they are: every setting was written when
    // it changed, and saved files are only renamed into place when complete.
    std::exit(0);
}

void setProgramEndHandler(void (*handler)())
{
    g_endHandler = handler;
}
