#include "mainwindow/form1.h"

#include <QStringList>

#include "app/boxes.h"
#include "app/buildsettings.h"
#include "app/errortrap.h"

namespace {

const char kParagraphBreak[] = "\r\r";

} // namespace

// "Help"
void Form1::PushButton8_Click()
{
    ErrorTrap trap("Form1", "PushButton8_Click");
    // A piece whose preparation fails stays empty in its box.
    QString help[7];
    // A build that names no download page leaves its sentence out.
    trap.run(100, [&] {
        if (*kDownloadAddress == '\0')
            return;
        help[0] = QStringLiteral("Having problems connecting? Make sure you have the latest version by downloading from ")
            + QLatin1String(kDownloadAddress);
    });
    trap.run(102, [&] { help[1] = QStringLiteral("IMAP must be enabled on your Gmail account to use this software. "); });
    trap.run(104, [&] {
        help[2] = QStringLiteral("To do this, login into your Gmail account with your regular internet browser.");
    });
    trap.run(106, [&] {
        help[3] = QStringLiteral(
            "Click on 'Settings', click on 'Forwarding and POP/IMAP', click on 'Enable IMAP' option");
    });
    trap.run(108, [&] { help[4] = QStringLiteral("Click on 'Save Changes'"); });
    trap.run(110, [&] {
        help[5] = QStringLiteral("Also, English should be enabled ('Settings' > 'Language' > 'English').");
    });
    trap.run(112, [&] {
        help[6] = QStringLiteral("Google Apps (AKA \"Google Apps for Your Domain\") can host your personal email at "
                                 "Gmail without using an @gmail.com account.")
            + QLatin1String(kParagraphBreak)
            + QStringLiteral("Unfortunately, this software does not support these Google Apps accounts. This "
                             "software supports standard Gmail accounts.")
            + QLatin1String(kParagraphBreak)
            + QStringLiteral("In other words, email addresses such as you@yourcompany.example cannot be used with "
                             "this software, but email addresses such as you@gmail.com can.");
    });
    trap.run(114, [&] {
        QStringList pieces(std::begin(help), std::end(help));
        if (*kDownloadAddress == '\0')
            pieces.removeFirst();
        showMessage(pieces.join(QLatin1String(kParagraphBreak)));
    });

    QString privacy[4];
    trap.run(116, [&] { privacy[0] = QStringLiteral("Privacy Policy"); });
    trap.run(118, [&] {
        privacy[1] = QStringLiteral("1. This software can access your Gmail account only if you grant access to it.");
    });
    trap.run(120, [&] {
        privacy[2] = QStringLiteral(
            "2. This software does not store any information that is retrieved from your Gmail account.");
    });
    trap.run(122, [&] {
        privacy[3] = QStringLiteral("3. This software stores your username and password locally on your computer if "
                                    "you select the 'Remember me' feature, but this information is private and not "
                                    "stored on a server.");
    });
    trap.run(124, [&] {
        showMessage(QStringList(std::begin(privacy), std::end(privacy)).join(QLatin1String(kParagraphBreak)));
    });
}
