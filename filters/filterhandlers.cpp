#include "mainwindow/form1.h"

#include <QLabel>
#include <QPushButton>

#include "app/boxes.h"
#include "app/errortrap.h"
#include "app/settings.h"
#include "filters/form5.h"
#include "filters/form6.h"

namespace {

const char kConnectFirst[] = "Please connect first (Step 1) before using this feature.";
const char kNotConnectedCaption[] = "1. Connect";

QString labelFilterStatus(const QString &filter)
{
    return filter.isEmpty() ? QStringLiteral("No Label Filter set") : QStringLiteral("Label Filter: ") + filter;
}

QString charactersFilterStatus(const QString &filter)
{
    return filter.isEmpty() ? QStringLiteral("No Character Filter set")
                            : QStringLiteral("Character Filter: ") + filter;
}

} // namespace

// "Filter By Label"
void Form1::PushButton13_Click()
{
    ErrorTrap trap("Form1", "PushButton13_Click");
    if (trap.test(100, [&] { return PushButton5->text() == QLatin1String(kNotConnectedCaption); })) {
        trap.run(102, [&] { showMessage(QLatin1String(kConnectFirst)); });
        return;
    }
    trap.run(104, [&] {
        Form5 dialog(LabelFilter, this);
        dialog.exec();
    });
    if (trap.test(106, [&] { return !LabelFilter.isEmpty(); }))
        trap.run(108, [&] { Label4->setText(labelFilterStatus(LabelFilter)); });
    else
        trap.run(110, [&] { Label4->setText(labelFilterStatus(QString())); });
}

// "Filter By Characters"
void Form1::PushButton14_Click()
{
    ErrorTrap trap("Form1", "PushButton14_Click");
    if (trap.test(100, [&] { return PushButton5->text() == QLatin1String(kNotConnectedCaption); })) {
        trap.run(102, [&] { showMessage(QLatin1String(kConnectFirst)); });
        return;
    }
    trap.run(104, [&] {
        Form6 dialog(CharactersFilter, this);
        dialog.exec();
    });
    if (trap.test(106, [&] { return !CharactersFilter.isEmpty(); }))
        trap.run(108, [&] { Label3->setText(charactersFilterStatus(CharactersFilter)); });
    else
        trap.run(110, [&] { Label3->setText(charactersFilterStatus(QString())); });
}

// "?" next to "Filter By Characters"
void Form1::PushButton15_Click()
{
    ErrorTrap trap("Form1", "PushButton15_Click");
    trap.run(100, [&] {
        showMessage(QStringLiteral("Search feature. This feature will allow you to only show emails containing "
                                   "certain text so that you do not have to look at all the emails in the folder."));
    });
}

// "?" next to "Filter By Label"
void Form1::PushButton16_Click()
{
    ErrorTrap trap("Form1", "PushButton16_Click");
    trap.run(100, [&] {
        showMessage(QStringLiteral("This feature will allow you to show only emails that are associated with a "
                                   "certain label. \r\n\r\nIf you are new to Gmail and do not know what a label "
                                   "is, see https://support.google.com/mail/answer/118708"));
    });
}

// "Clear Filter" of the character filter
void Form1::PushButton17_Click()
{
    ErrorTrap trap("Form1", "PushButton17_Click");
    trap.run(100, [&] { CharactersFilter.clear(); });
    trap.run(102, [&] { Settings::write(SettingKey::CharactersFilter, QString()); });
    trap.run(104, [&] { Label3->setText(charactersFilterStatus(QString())); });
}

// "Clear Filter" of the label filter
void Form1::PushButton18_Click()
{
    ErrorTrap trap("Form1", "PushButton18_Click");
    trap.run(100, [&] { LabelFilter.clear(); });
    trap.run(102, [&] { Settings::write(SettingKey::LabelFilter, QString()); });
    trap.run(104, [&] { Label4->setText(labelFilterStatus(QString())); });
}
