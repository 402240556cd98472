#include <memory>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "app/buildsettings.h"
#include "app/programstate.h"
#include "app/settings.h"
#include "filters/form5.h"
#include "filters/form6.h"
#include "mainwindow/form1.h"
#include "tests/dialogs/modaldriver.h"
#include "tests/support/scriptedboxes.h"
#include "tests/support/testenv.h"

namespace {

enum class Closing { Ok, Cancel, CloseBox };

void closeBy(QDialog *dialog, Closing closing, const char *cancelButton)
{
    if (closing == Closing::Ok)
        dialog->findChild<QPushButton *>(QStringLiteral("PushButton1"))->click();
    else if (closing == Closing::Cancel)
        dialog->findChild<QPushButton *>(QLatin1String(cancelButton))->click();
    else
        dialog->close();
}

} // namespace

Q_DECLARE_METATYPE(Closing)

class FilterTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void notConnectedOpensNothing_data();
    void notConnectedOpensNothing();
    void charactersDialog_data();
    void charactersDialog();
    void labelDialog_data();
    void labelDialog();
    void clearFilterBeforeConnecting_data();
    void clearFilterBeforeConnecting();
    void helpTexts_data();
    void helpTexts();
    void connectionHelpShowsTwoBoxes();

private:
    void connectWindow() { m_window->PushButton5->setText(QStringLiteral("Disconnect")); }

    std::unique_ptr<ScriptedBoxesScope> m_boxes;
    std::unique_ptr<Form1> m_window;
};

void FilterTest::initTestCase()
{
    useTemporaryHome();
}

void FilterTest::init()
{
    resetProgramState();
    m_boxes = std::make_unique<ScriptedBoxesScope>();
    m_window = std::make_unique<Form1>();
    m_window->Form_Load();
    (*m_boxes)->shown.clear();
}

void FilterTest::cleanup()
{
    closeLeftoverModals();
    m_window.reset();
    m_boxes.reset();
}

void FilterTest::notConnectedOpensNothing_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("filter by label") << QStringLiteral("PushButton13");
    QTest::newRow("filter by characters") << QStringLiteral("PushButton14");
}

void FilterTest::notConnectedOpensNothing()
{
    QFETCH(QString, button);
    m_window->LabelFilter = QStringLiteral("Travel");
    m_window->CharactersFilter = QStringLiteral("abc");
    whenModalOpens([](QWidget *modal) { modal->close(); });

    m_window->findChild<QPushButton *>(button)->click();

    QCOMPARE((*m_boxes)->texts(), std::vector<QString>{QStringLiteral("Please connect first (Step 1) before using this feature.")});
    QCOMPARE((*m_boxes)->shown[0].title, QStringLiteral("Corvina"));
    QCOMPARE((*m_boxes)->shown[0].buttons, BoxButtons::Ok);
    // No dialog was unloaded, and nothing changed.
    QVERIFY(!program().SkipDoneMessage);
    QVERIFY(!modalActionRan());
    QCOMPARE(m_window->LabelFilter, QStringLiteral("Travel"));
    QCOMPARE(m_window->CharactersFilter, QStringLiteral("abc"));
    QCOMPARE(m_window->Label3->text(), QStringLiteral("No Character Filter set"));
    QCOMPARE(m_window->Label4->text(), QStringLiteral("No Label Filter set"));
}

void FilterTest::charactersDialog_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Closing>("closing");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("expectedKey");
    QTest::addColumn<QString>("expectedStatus");

    QTest::newRow("OK with an empty box clears the filter")
        << "abc" << "" << Closing::Ok << "" << "" << "No Character Filter set";
    QTest::newRow("OK keeps leading and trailing blanks")
        << "" << "  a b  " << Closing::Ok << "  a b  " << "  a b  " << "Character Filter:   a b  ";
    QTest::newRow("OK replaces the filter exactly as typed")
        << "abc" << "Invoice 2021" << Closing::Ok << "Invoice 2021" << "Invoice 2021" << "Character Filter: Invoice 2021";
    QTest::newRow("Cancel keeps the filter")
        << "abc" << "xyz" << Closing::Cancel << "abc" << "stored before" << "Character Filter: abc";
    QTest::newRow("close box behaves like Cancel")
        << "abc" << "xyz" << Closing::CloseBox << "abc" << "stored before" << "Character Filter: abc";
    QTest::newRow("Cancel with no filter keeps none")
        << "" << "xyz" << Closing::Cancel << "" << "stored before" << "No Character Filter set";
}

void FilterTest::charactersDialog()
{
    QFETCH(QString, current);
    QFETCH(QString, typed);
    QFETCH(Closing, closing);
    QFETCH(QString, expected);
    QFETCH(QString, expectedKey);
    QFETCH(QString, expectedStatus);
    connectWindow();
    m_window->CharactersFilter = current;
    Settings::write(SettingKey::CharactersFilter, QStringLiteral("stored before"));

    QString title, frameTitle, shownText, selectedText;
    whenModalOpens([&](QWidget *modal) {
        auto *dialog = qobject_cast<Form6 *>(modal);
        if (!dialog)
            return modal->close(), void();
        title = dialog->windowTitle();
        frameTitle = dialog->findChild<QGroupBox *>(QStringLiteral("Frame2"))->title();
        auto *box = dialog->findChild<QLineEdit *>(QStringLiteral("txtSearch"));
        shownText = box->text();
        selectedText = box->selectedText();
        box->setText(typed);
        closeBy(dialog, closing, "PushButton2");
    });

    m_window->PushButton14->click();

    QVERIFY(modalActionRan());
    QCOMPARE(title, QStringLiteral("Filter By Characters"));
    QCOMPARE(frameTitle, QStringLiteral("Filter By Characters - only emails containing these characters will be retrieved"));
    QCOMPARE(shownText, current);
    QCOMPARE(selectedText, current);
    QCOMPARE(m_window->CharactersFilter, expected);
    QCOMPARE(Settings::read(SettingKey::CharactersFilter, QStringLiteral("absent")), expectedKey);
    QCOMPARE(m_window->Label3->text(), expectedStatus);
    QVERIFY(program().SkipDoneMessage);
    QVERIFY((*m_boxes)->shown.empty());
}

void FilterTest::labelDialog_data()
{
    QTest::addColumn<bool>("enumerated");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("expectedChosenAtOpen");
    QTest::addColumn<QString>("choose"); // "" leaves the choice as it opened
    QTest::addColumn<Closing>("closing");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("expectedKey");
    QTest::addColumn<QString>("expectedStatus");

    const QStringList three{QStringLiteral("Work"), QStringLiteral("Travel"), QStringLiteral("Receipts")};
    QTest::newRow("current label chosen at open, Cancel keeps it")
        << true << three << "Travel" << "Travel" << "Receipts" << Closing::Cancel << "Travel" << "stored before"
        << "Label Filter: Travel";
    QTest::newRow("close box behaves like Cancel")
        << true << three << "Travel" << "Travel" << "Receipts" << Closing::CloseBox << "Travel" << "stored before"
        << "Label Filter: Travel";
    QTest::newRow("OK with another label")
        << true << three << "Travel" << "Travel" << "Receipts" << Closing::Ok << "Receipts" << "Receipts"
        << "Label Filter: Receipts";
    QTest::newRow("OK without a change keeps the label")
        << true << three << "Travel" << "Travel" << "" << Closing::Ok << "Travel" << "Travel" << "Label Filter: Travel";
    QTest::newRow("no filter opens with nothing chosen")
        << true << three << "" << "" << "Work" << Closing::Ok << "Work" << "Work" << "Label Filter: Work";
    QTest::newRow("label no longer listed: nothing chosen, OK clears")
        << true << three << "Gone" << "" << "" << Closing::Ok << "" << "" << "No Label Filter set";
    QTest::newRow("label names compare case-sensitively")
        << true << QStringList{QStringLiteral("travel")} << "Travel" << "" << "" << Closing::Ok << "" << ""
        << "No Label Filter set";
    QTest::newRow("account without labels: empty list, OK clears")
        << true << QStringList() << "Travel" << "" << "" << Closing::Ok << "" << "" << "No Label Filter set";
    QTest::newRow("labels never enumerated: empty list, Cancel keeps")
        << false << QStringList() << "Travel" << "" << "" << Closing::Cancel << "Travel" << "stored before"
        << "Label Filter: Travel";
}

void FilterTest::labelDialog()
{
    QFETCH(bool, enumerated);
    QFETCH(QStringList, labels);
    QFETCH(QString, current);
    QFETCH(QString, expectedChosenAtOpen);
    QFETCH(QString, choose);
    QFETCH(Closing, closing);
    QFETCH(QString, expected);
    QFETCH(QString, expectedKey);
    QFETCH(QString, expectedStatus);
    connectWindow();
    if (enumerated)
        program().LabelNames = labels;
    m_window->LabelFilter = current;
    Settings::write(SettingKey::LabelFilter, QStringLiteral("stored before"));

    QString title, chosenAtOpen;
    QStringList listed;
    whenModalOpens([&](QWidget *modal) {
        auto *dialog = qobject_cast<Form5 *>(modal);
        if (!dialog)
            return modal->close(), void();
        title = dialog->windowTitle();
        auto *combo = dialog->findChild<QComboBox *>(QStringLiteral("Combo1"));
        for (int i = 0; i < combo->count(); ++i)
            listed << combo->itemText(i);
        chosenAtOpen = combo->currentText();
        if (!choose.isEmpty())
            combo->setCurrentIndex(combo->findText(choose));
        closeBy(dialog, closing, "PushButton3");
    });

    m_window->PushButton13->click();

    QVERIFY(modalActionRan());
    QCOMPARE(title, QStringLiteral("Filter By Label"));
    QCOMPARE(listed, labels);
    QCOMPARE(chosenAtOpen, expectedChosenAtOpen);
    QCOMPARE(m_window->LabelFilter, expected);
    QCOMPARE(Settings::read(SettingKey::LabelFilter, QStringLiteral("absent")), expectedKey);
    QCOMPARE(m_window->Label4->text(), expectedStatus);
    QVERIFY(program().SkipDoneMessage);
    QVERIFY((*m_boxes)->shown.empty());
}

void FilterTest::clearFilterBeforeConnecting_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("labelFilter");
    QTest::newRow("label filter") << QStringLiteral("PushButton18") << true;
    QTest::newRow("character filter") << QStringLiteral("PushButton17") << false;
}

void FilterTest::clearFilterBeforeConnecting()
{
    QFETCH(QString, button);
    QFETCH(bool, labelFilter);
    const SettingKey key = labelFilter ? SettingKey::LabelFilter : SettingKey::CharactersFilter;
    QString &field = labelFilter ? m_window->LabelFilter : m_window->CharactersFilter;
    QLabel *status = labelFilter ? m_window->Label4 : m_window->Label3;
    Settings::write(key, QStringLiteral("from an earlier run"));
    field = QStringLiteral("from an earlier run");
    status->setText(QStringLiteral("something else"));
    const QString otherStatus = (labelFilter ? m_window->Label3 : m_window->Label4)->text();

    m_window->findChild<QPushButton *>(button)->click();

    QVERIFY(field.isEmpty());
    // The key holds the empty text, so the next Connect restores no filter.
    QCOMPARE(Settings::read(key, QStringLiteral("absent")), QString());
    QCOMPARE(status->text(), labelFilter ? QStringLiteral("No Label Filter set") : QStringLiteral("No Character Filter set"));
    QCOMPARE((labelFilter ? m_window->Label3 : m_window->Label4)->text(), otherStatus);
    QVERIFY((*m_boxes)->shown.empty());
}

void FilterTest::helpTexts_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("text");
    QTest::newRow("character filter help")
        << QStringLiteral("PushButton15")
        << QStringLiteral("Search feature. This feature will allow you to only show emails containing certain text so "
                          "that you do not have to look at all the emails in the folder.");
    QTest::newRow("label filter help")
        << QStringLiteral("PushButton16")
        << QStringLiteral("This feature will allow you to show only emails that are associated with a certain label. "
                          "\r\n\r\nIf you are new to Gmail and do not know what a label is, see "
                          "https://support.google.com/mail/answer/118708");
}

void FilterTest::helpTexts()
{
    QFETCH(QString, button);
    QFETCH(QString, text);
    m_window->findChild<QPushButton *>(button)->click();
    QCOMPARE((*m_boxes)->shown.size(), size_t(1));
    const RecordedBox &box = (*m_boxes)->shown[0];
    QCOMPARE(box.text, text);
    QCOMPARE(box.title, QStringLiteral("Corvina"));
    QCOMPARE(box.icon, BoxIcon::None);
    QCOMPARE(box.buttons, BoxButtons::Ok);
}

void FilterTest::connectionHelpShowsTwoBoxes()
{
    m_window->PushButton8->click();

    QCOMPARE((*m_boxes)->shown.size(), size_t(2));
    for (const RecordedBox &box : (*m_boxes)->shown) {
        QCOMPARE(box.title, QStringLiteral("Corvina"));
        QCOMPARE(box.icon, BoxIcon::None);
        QCOMPARE(box.buttons, BoxButtons::Ok);
    }
    QStringList help = (*m_boxes)->shown[0].text.split(QStringLiteral("\r\r"));
    // Seven pieces, the last of three paragraphs; the first only when the
    // build names a download page (CORVINA_DOWNLOAD_ADDRESS).
    const QString download = QLatin1String(kDownloadAddress);
    QVERIFY(!(*m_boxes)->shown[0].text.contains(QLatin1String(".example/")));
    if (download.isEmpty())
        help.prepend(QString());
    else
        QCOMPARE(help[0], QStringLiteral("Having problems connecting? Make sure you have the latest version by downloading from ") + download);
    QCOMPARE(help.size(), 9);
    QCOMPARE(help[1], QStringLiteral("IMAP must be enabled on your Gmail account to use this software. "));
    QCOMPARE(help[3], QStringLiteral("Click on 'Settings', click on 'Forwarding and POP/IMAP', click on 'Enable IMAP' option"));
    QCOMPARE(help[5], QStringLiteral("Also, English should be enabled ('Settings' > 'Language' > 'English')."));
    QVERIFY(help[6].startsWith(QStringLiteral("Google Apps (AKA \"Google Apps for Your Domain\") can host your personal email at Gmail without using an @gmail.com account.")));
    QVERIFY(help[8].startsWith(QStringLiteral("In other words, email addresses such as ")));
    QVERIFY(!(*m_boxes)->shown[0].text.contains(QLatin1Char('\n')));
    QCOMPARE((*m_boxes)->shown[1].text,
             QStringLiteral("Privacy Policy\r\r"
                            "1. This software can access your Gmail account only if you grant access to it.\r\r"
                            "2. This software does not store any information that is retrieved from your Gmail account.\r\r"
                            "3. This software stores your username and password locally on your computer if you select "
                            "the 'Remember me' feature, but this information is private and not stored on a server."));
}

QTEST_MAIN(FilterTest)
#include "tst_filters.moc"
