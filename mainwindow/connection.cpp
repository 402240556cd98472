#include "mainwindow/form1.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/errortrap.h"
#include "app/programstate.h"
#include "app/settings.h"
#include "mainwindow/messagelist.h"
#include "session/clsimapsession.h"
#include "session/imapclient.h"

namespace {
const char *const kDesignedFolderCaptions[] = {"All Mail", "Drafts", "Sent Mail", "Spam", "Starred", "Trash",
                                               "Important"};
}

// "1. Connect" / "Disconnect"
void Form1::PushButton5_Click()
{
    ErrorTrap trap("Form1", "PushButton5_Click");
    trap.run(100, [&] { setBusy(true); });
    bool resetting = false;
    if (trap.test(102, [&] { return PushButton5->text() == QLatin1String("1. Connect"); })) {
        trap.run(104, [&] { setStatusLine(QStringLiteral("Connecting to Gmail...")); });
        // A second click while the first Connect still waits finds its session.
        if (!trap.test(106, [&] { return oSession != nullptr; })) {
            std::shared_ptr<clsImapSession> session;
            trap.run(108, [&] {
                session = std::make_shared<clsImapSession>();
                oSession = session;
            });
            trap.run(110, [&] { session->ImapObject = ImapComponent; });
            trap.run(112, [&] { session->SSL = true; });
            trap.run(114, [&] { session->PORT = program().server.port; });
            trap.run(116, [&] { session->IMAPServer = program().server.host; });
            trap.run(118, [&] { session->Username = Text1->text(); });
            trap.run(120, [&] { session->Password = Text2->text(); });
            // The session is held here too: a nested handler may drop oSession meanwhile.
            const bool connected = trap.value(122, [&] { return session && session->Connect(); }, false);
            if (!connected) {
                resetting = true;
            } else {
                trap.run(126, [&] { session->EnumMailFolders(); });
                for (int entry = 1; entry <= 7; ++entry) {
                    trap.run(126 + 2 * entry, [&] {
                        folderOption(entry + 3)->setText(program().SpecialFolderNames[size_t(entry)]);
                    });
                }
                trap.run(142, [&] { CharactersFilter = Settings::read(SettingKey::CharactersFilter, QString()); });
                trap.run(144, [&] { LabelFilter = Settings::read(SettingKey::LabelFilter, QString()); });
                if (trap.test(146, [&] { return !CharactersFilter.isEmpty(); }))
                    trap.run(148, [&] { Label3->setText(QStringLiteral("Character Filter: ") + CharactersFilter); });
                if (trap.test(150, [&] { return !LabelFilter.isEmpty(); }))
                    trap.run(152, [&] { Label4->setText(QStringLiteral("Label Filter: ") + LabelFilter); });
                trap.run(154, [&] { setStatusLine(QStringLiteral("Connected to Gmail.")); });
            }
        }
        if (!resetting)
            trap.run(156, [&] { PushButton5->setText(QStringLiteral("Disconnect")); });
    } else {
        trap.run(158, [&] { setStatusLine(QStringLiteral("Disconnecting from Gmail...")); });
        if (trap.test(160, [&] { return !Check1->isChecked(); })) {
            trap.run(162, [&] { Text1->setText(QString()); });
            trap.run(164, [&] { Text2->setText(QString()); });
            trap.run(166, [&] { Settings::write(SettingKey::User, QString()); });
            trap.run(168, [&] { Settings::write(SettingKey::Password, QString()); });
        }
        trap.run(170, [&] {
            if (ImapComponent)
                ImapComponent->disconnectFromServer();
        });
        resetting = true;
    }
    if (resetting) {
        trap.run(172, [&] { ListView1->removeAllRows(); });
        trap.run(174, [&] { UpdateCounters(true); });
        for (int entry = 1; entry <= 7; ++entry) {
            trap.run(174 + 2 * entry, [&] {
                folderOption(entry + 3)->setText(QLatin1String(kDesignedFolderCaptions[entry - 1]));
            });
        }
        trap.run(190, [&] { PushButton5->setText(QStringLiteral("1. Connect")); });
        if (trap.test(192, [&] { return Settings::readWholeNumber(SettingKey::StayConnected) != 0; }))
            trap.run(194, [&] { Check1->setChecked(true); });
        else
            trap.run(196, [&] { Check1->setChecked(false); });
        trap.run(198, [&] { oSession.reset(); });
        trap.run(200, [&] { Label3->setText(QStringLiteral("No Character Filter set")); });
        trap.run(202, [&] { Label4->setText(QStringLiteral("No Label Filter set")); });
        trap.run(204, [&] { setStatusLine(QStringLiteral("Disconnected from Gmail.")); });
    }
    trap.run(206, [&] { setBusy(false); });
    trap.run(208, [&] { TextCheckApplied = false; });
}
