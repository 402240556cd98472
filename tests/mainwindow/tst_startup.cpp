#include <QtTest>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>

#include "app/appearance.h"
#include "app/boxes.h"
#include "app/paths.h"
#include "app/programstate.h"
#include "app/settings.h"
#include "mainwindow/form1.h"
#include "mainwindow/messagelist.h"
#include "tests/support/scriptedboxes.h"
#include "tests/support/testenv.h"
#include "tests/support/testserver.h"

// Start-up of the main window from what the settings store holds.
class StartupTest : public QObject
{
    Q_OBJECT

    QString m_home;
    QTemporaryDir m_programFolder;

    void clearStore()
    {
        QFile::remove(Settings::filePath());
    }

    void store(SettingKey key, const QString &value) { Settings::write(key, value); }

    std::unique_ptr<Form1> loadWindow()
    {
        auto window = std::make_unique<Form1>();
        window->Form_Load();
        return window;
    }

    QList<QRadioButton *> selectedFolders(Form1 &window)
    {
        QList<QRadioButton *> result;
        for (int number = 3; number <= 10; ++number) {
            if (window.folderOption(number)->isChecked())
                result << window.folderOption(number);
        }
        return result;
    }

private slots:
    void initTestCase()
    {
        m_home = useTemporaryHome();
        setProgramFolder(m_programFolder.path());
        setProgramEndHandler([] {});
    }

    void init()
    {
        clearStore();
        QDir(m_programFolder.path()).removeRecursively();
        QDir().mkpath(m_programFolder.path());
        resetProgramState();
    }

    void firstRun()
    {
        ScriptedBoxesScope boxes;
        auto window = loadWindow();
        QCOMPARE(window->windowTitle(), QStringLiteral("Corvina"));
        QCOMPARE(applicationTitle(), QStringLiteral("Corvina"));
        QVERIFY(window->Option3->isChecked());
        QCOMPARE(selectedFolders(*window).size(), 1);
        QVERIFY(window->Option1->isChecked());
        QVERIFY(!window->Option2->isChecked());
        QCOMPARE(window->Text3->text(), m_home + QStringLiteral("/Desktop/"));
        QVERIFY(window->Text1->text().isEmpty());
        QVERIFY(window->Text2->text().isEmpty());
        QVERIFY(!window->Check1->isChecked());
        QVERIFY(!window->Check2->isChecked());
        QVERIFY(!window->Check2->isEnabled());
        QCOMPARE(window->Label1->text(), QStringLiteral("Total Number Of Emails: 0"));
        QCOMPARE(window->Label2->text(), QStringLiteral("Selected Emails: 0"));
        QCOMPARE(window->Label3->text(), QStringLiteral("No Character Filter set"));
        QCOMPARE(window->Label4->text(), QStringLiteral("No Label Filter set"));
        QCOMPARE(window->PushButton5->text(), QStringLiteral("1. Connect"));
        QCOMPARE(window->statusLine(), QStringLiteral("Progress Bar"));
        QVERIFY(window->ImapComponent);
        QVERIFY(!window->oSession);
        QVERIFY(boxes->shown.empty());
    }

    void everyControlIsPlacedAsDesigned()
    {
        ScriptedBoxesScope boxes;
        auto window = loadWindow();
        const QStringList names = {"Frame5", "Text1", "Text2", "Check1", "Check2", "PushButton5", "PushButton8",
                                   "Frame2", "Option3", "Option10", "Frame6", "PushButton13", "PushButton18",
                                   "Label3", "Label4", "PushButton10", "PushButton2", "PushButton12", "ListView1",
                                   "Label1", "Label2", "PushButton4", "PushButton6", "PushButton9", "PushButton11",
                                   "PushButton3", "Frame3", "Option1", "Option2", "Frame1", "Text3", "PushButton1",
                                   "PushButton7", "ProgressBar1"};
        for (const QString &name : names)
            QVERIFY2(window->findChild<QWidget *>(name), qPrintable(name));
        // 120, 11745, 7800, 405 twips.
        QCOMPARE(window->ProgressBar1->geometry(), QRect(8, 783, 520, 27));
        QCOMPARE(window->Text2->echoMode(), QLineEdit::Password);
        auto *list = window->ListView1;
        QCOMPARE(list->rows()->columnCount(), 6);
        QCOMPARE(list->rows()->headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("RecDate"));
        QVERIFY(list->isColumnHidden(5));
        QCOMPARE(list->columnWidth(2), 1600 / 15);
        QCOMPARE(list->toolTip(), QStringLiteral("Move | line to right and out of window to reveal full names."));
        // The whole window content fits the window.
        for (QWidget *child : window->centralWidget()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            QVERIFY2(QRect(QPoint(), window->size()).contains(child->geometry()), qPrintable(child->objectName()));
    }

    void rememberedLogin_data()
    {
        QTest::addColumn<QString>("stayConnected");
        QTest::addColumn<bool>("remembered");
        QTest::newRow("remember me on") << "1" << true;
        QTest::newRow("remember me off") << "0" << false;
    }

    void rememberedLogin()
    {
        QFETCH(QString, stayConnected);
        QFETCH(bool, remembered);
        ScriptedBoxesScope boxes;
        store(SettingKey::User, QStringLiteral("someone@example.com"));
        store(SettingKey::Password, QStringLiteral("pw"));
        store(SettingKey::StayConnected, stayConnected);
        auto window = loadWindow();
        QCOMPARE(window->Check1->isChecked(), remembered);
        QCOMPARE(window->Check2->isEnabled(), remembered);
        QCOMPARE(window->Text1->text(), remembered ? QStringLiteral("someone@example.com") : QString());
        QCOMPARE(window->Text2->text(), remembered ? QStringLiteral("pw") : QString());
        QCOMPARE(Settings::read(SettingKey::User), remembered ? QStringLiteral("someone@example.com") : QString());
        QCOMPARE(Settings::read(SettingKey::Password), remembered ? QStringLiteral("pw") : QString());
        QCOMPARE(Settings::read(SettingKey::StayConnected), stayConnected);
        QVERIFY(boxes->shown.empty());
    }

    void passwordKeyFollowsRememberMe_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("passwordKey");
        QTest::newRow("typed with remember me off") << QStringList{"type"} << QString();
        QTest::newRow("typed with remember me on") << QStringList{"click", "type"} << "secret";
        QTest::newRow("checking writes the typed password") << QStringList{"type", "click"} << "secret";
        QTest::newRow("unchecking empties the key") << QStringList{"click", "type", "click"} << QString();
    }

    void passwordKeyFollowsRememberMe()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, passwordKey);
        ScriptedBoxesScope boxes;
        auto window = loadWindow();
        QTest::keyClicks(window->Text1, QStringLiteral("me@example.com"));
        for (const QString &step : steps) {
            if (step == QLatin1String("type"))
                QTest::keyClicks(window->Text2, QStringLiteral("secret"));
            else
                window->Check1->click();
        }
        QCOMPARE(Settings::read(SettingKey::Password), passwordKey);
        QCOMPARE(Settings::read(SettingKey::User), QStringLiteral("me@example.com"));
        QCOMPARE(window->Text2->text(), QStringLiteral("secret"));
    }

    void folderOptions_data()
    {
        QTest::addColumn<QStringList>("values"); // Option3..Option10
        QTest::addColumn<QString>("selected");
        QTest::newRow("spam only") << QStringList{"False", "False", "False", "False", "True", "False", "False", "False"}
                                   << "Option7";
        QTest::newRow("several true: the last wins")
            << QStringList{"True", "False", "True", "False", "False", "1", "False", "False"} << "Option8";
        QTest::newRow("all false: none selected")
            << QStringList{"False", "False", "False", "False", "False", "False", "False", "0"} << "";
    }

    void folderOptions()
    {
        QFETCH(QStringList, values);
        QFETCH(QString, selected);
        ScriptedBoxesScope boxes;
        const SettingKey keys[] = {SettingKey::Option3, SettingKey::Option4, SettingKey::Option5, SettingKey::Option6,
                                   SettingKey::Option7, SettingKey::Option8, SettingKey::Option9, SettingKey::Option10};
        for (int i = 0; i < 8; ++i)
            store(keys[i], values[i]);
        auto window = loadWindow();
        const QList<QRadioButton *> options = selectedFolders(*window);
        if (selected.isEmpty()) {
            QVERIFY(options.isEmpty());
            QCOMPARE(window->folderName(), QString());
        } else {
            QCOMPARE(options.size(), 1);
            QCOMPARE(options[0]->objectName(), selected);
        }
    }

    void saveMethod_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("separateFiles");
        QTest::newRow("absent") << QString() << true;
        QTest::newRow("1") << "1" << true;
        QTest::newRow("2") << "2" << false;
        QTest::newRow("other text") << "two" << true;
    }

    void saveMethod()
    {
        QFETCH(QString, stored);
        QFETCH(bool, separateFiles);
        ScriptedBoxesScope boxes;
        if (!stored.isNull())
            store(SettingKey::Option, stored);
        auto window = loadWindow();
        QCOMPARE(window->Option1->isChecked(), separateFiles);
        QCOMPARE(window->Option2->isChecked(), !separateFiles);
    }

    void stayConnectedThatIsNoNumber()
    {
        ScriptedBoxesScope boxes;
        store(SettingKey::User, QStringLiteral("kept@example.com"));
        store(SettingKey::StayConnected, QStringLiteral("maybe"));
        auto window = loadWindow();
        QCOMPARE(boxes->shown.size(), size_t(1));
        QCOMPARE(boxes->shown[0].title, QStringLiteral("Application Error"));
        QVERIFY(boxes->shown[0].text.contains(QStringLiteral("in Pellucid2021/08/31.Form1.Form_Load at line 194")));
        // The failing test enters the remembered branch: the boxes are filled from the keys.
        QVERIFY(window->Check1->isChecked());
        QCOMPARE(window->Text1->text(), QStringLiteral("kept@example.com"));
    }

    void autoConnectWithoutRememberMe()
    {
        ScriptedBoxesScope boxes;
        TestServer &server = TestServer::instance();
        QVERIFY2(server.isRunning(), qPrintable(server.startError()));
        program().server = MailServer{server.host(), server.port(), server.caFile()};
        QFile log(server.directory() + QStringLiteral("/dovecot.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        log.seek(log.size());
        // A login left in the store is not used while "Remember me" is off.
        store(SettingKey::User, server.user());
        store(SettingKey::Password, server.password());
        store(SettingKey::StayConnected, QStringLiteral("0"));
        store(SettingKey::AutoConnect, QStringLiteral("1"));
        auto window = loadWindow();
        QVERIFY(window->Check2->isChecked());
        QVERIFY(!window->Check2->isEnabled());
        QCOMPARE(Settings::read(SettingKey::AutoConnect), QStringLiteral("1"));
        // The load connected at once, with the emptied boxes, and the server refused that login.
        QCOMPARE(boxes->shown.size(), size_t(1));
        QCOMPARE(boxes->shown[0].buttons, BoxButtons::YesNo);
        QVERIFY(boxes->shown[0].text.startsWith(QStringLiteral("Invalid login.")));
        QCOMPARE(window->PushButton5->text(), QStringLiteral("1. Connect"));
        QCOMPARE(window->statusLine(), QStringLiteral("Disconnected from Gmail."));
        // The server logs the refused login when the connection closes.
        window.reset();
        QByteArray logged;
        const QRegularExpression emptyLogin(QStringLiteral(R"(\(auth failed, 1 attempts [^)]*\): user=<>, )"));
        QTRY_VERIFY2(QString::fromUtf8(logged += log.readAll()).contains(emptyLogin), logged.constData());
        QVERIFY(!logged.contains(server.user().toUtf8()));
    }

    void handPointer()
    {
        // An unreadable cursor file: one report at 108 and the default pointer.
        {
            ScriptedBoxesScope boxes;
            QFile cursor(m_programFolder.path() + QStringLiteral("/HAND-M.CUR"));
            QVERIFY(cursor.open(QIODevice::WriteOnly));
            cursor.write("this is not a cursor");
            cursor.close();
            auto window = loadWindow();
            QCOMPARE(boxes->shown.size(), size_t(1));
            QVERIFY(boxes->shown[0].text.contains(QStringLiteral("at line 108")));
            QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), QPointF(2, 2), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(window->PushButton7, &move);
            QCOMPARE(window->cursor().shape(), Qt::ArrowCursor);
        }
        // A readable one: the hand over push buttons, the default elsewhere, nothing while busy.
        {
            ScriptedBoxesScope boxes;
            QImage image(32, 32, QImage::Format_ARGB32);
            image.fill(Qt::red);
            QVERIFY(image.save(m_programFolder.path() + QStringLiteral("/HAND-M.CUR"), "CUR"));
            auto window = loadWindow();
            QVERIFY2(boxes->shown.empty(), boxes->shown.empty() ? "" : qPrintable(boxes->shown[0].text));
            window->show();
            QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), QPointF(2, 2), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(window->PushButton7, &move);
            QCOMPARE(window->cursor().shape(), Qt::BitmapCursor);
            QCoreApplication::sendEvent(window->Option1, &move);
            QCOMPARE(window->cursor().shape(), Qt::ArrowCursor);
            window->setBusy(true);
            QCoreApplication::sendEvent(window->PushButton7, &move);
            QVERIFY(window->isBusy());
        }
    }

    void skin()
    {
        ScriptedBoxesScope boxes;
        {
            auto window = loadWindow();
            QCOMPARE(window->Frame5->palette().color(QPalette::Window), QColor(Qt::white));
            QVERIFY(window->styleSheet().isEmpty());
        }
        QDir(m_programFolder.path()).mkpath(QStringLiteral("x"));
        QFile skinFile(m_programFolder.path() + QStringLiteral("/x/o.cjs"));
        QVERIFY(skinFile.open(QIODevice::WriteOnly));
        skinFile.write("QPushButton { font-style: italic; }");
        skinFile.close();
        auto window = loadWindow();
        QVERIFY(boxes->shown.empty());
        QCOMPARE(window->Frame5->palette().color(QPalette::Window), buttonFaceColour());
        QCOMPARE(window->Option3->palette().color(QPalette::Window), buttonFaceColour());
        // The counters are set to white after the skin.
        QCOMPARE(window->Label1->palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(window->styleSheet().contains(QStringLiteral("italic")));
    }

    void textBoxesSelectAllOnFocus()
    {
        ScriptedBoxesScope boxes;
        auto window = loadWindow();
        window->show();
        window->Text3->setText(QStringLiteral("/some/folder"));
        window->Text3->deselect();
        window->Text1->setFocus();
        window->Text3->setFocus();
        QTRY_COMPARE(window->Text3->selectedText(), QStringLiteral("/some/folder"));
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
