#include "app/boxes.h"

#include <cstdio>

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>

namespace {

std::unique_ptr<Boxes> &currentBoxes()
{
    static std::unique_ptr<Boxes> instance = std::make_unique<WidgetBoxes>();
    return instance;
}

QString &titleStore()
{
    static QString title;
    return title;
}

// CR, LF and CR LF all mean a line break on screen.
QString normaliseLineBreaks(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// With CORVINA_ANNOUNCE_BOXES set, every message box says on standard error
// when it is up and when it is gone, so a benchmark driving the real window
// from outside knows when a command ended.
void announceBox(const char *event, const QString &text)
{
    static const bool announce = qEnvironmentVariableIsSet("CORVINA_ANNOUNCE_BOXES");
    if (announce)
        fprintf(stderr, "corvina: box %s: %s\n", event, qPrintable(text.section(QLatin1Char('\n'), 0, 0)));
}

} // namespace

BoxAnswer WidgetBoxes::message(const QString &title, const QString &text, BoxIcon icon, BoxButtons buttons)
{
    QMessageBox box(icon == BoxIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, title,
                    normaliseLineBreaks(text),
                    buttons == BoxButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    QTimer::singleShot(0, &box, [&box] { announceBox("shown", box.text()); });
    const int answer = box.exec();
    announceBox("closed", box.text());
    if (buttons == BoxButtons::Ok)
        return BoxAnswer::Ok;
    return answer == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
}

std::optional<QString> WidgetBoxes::input(const QString &title, const QString &prompt, const QString &defaultAnswer)
{
    bool ok = false;
    const QString text = QInputDialog::getText(QApplication::activeWindow(), title, normaliseLineBreaks(prompt),
                                               QLineEdit::Normal, defaultAnswer, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

QString WidgetBoxes::chooseFolder(QWidget *owner, const QString &title, const QString &startFolder)
{
    return QFileDialog::getExistingDirectory(owner, title, startFolder, QFileDialog::ShowDirsOnly);
}

Boxes &boxes()
{
    return *currentBoxes();
}

std::unique_ptr<Boxes> installBoxes(std::unique_ptr<Boxes> replacement)
{
    std::unique_ptr<Boxes> old = std::move(currentBoxes());
    currentBoxes() = std::move(replacement);
    return old;
}

QString applicationTitle()
{
    return titleStore();
}

void setApplicationTitle(const QString &title)
{
    titleStore() = title;
}

QString shortenedProductName(const QString &productName)
{
    QString title = productName;
    int lastSpace = title.lastIndexOf(QLatin1Char(' '));
    if (lastSpace < 0)
        return title;
    title.truncate(lastSpace);
    while (title.size() > 40 && (lastSpace = title.lastIndexOf(QLatin1Char(' '))) >= 0)
        title.truncate(lastSpace);
    return title;
}

void showMessage(const QString &text)
{
    boxes().message(applicationTitle(), text, BoxIcon::None, BoxButtons::Ok);
}

bool askYesNo(const QString &text)
{
    return boxes().message(applicationTitle(), text, BoxIcon::None, BoxButtons::YesNo) == BoxAnswer::Yes;
}

QString inputBox(const QString &prompt, const QString &defaultAnswer)
{
    return boxes().input(applicationTitle(), prompt, defaultAnswer).value_or(QString());
}
