#include <QtTest>

#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "app/appearance.h"
#include "app/paths.h"
#include "app/programstate.h"
#include "app/settings.h"
#include "dialogs/form2.h"
#include "mainwindow/form1.h"
#include "mainwindow/messagelist.h"
#include "session/clsimapsession.h"
#include "tests/support/scriptedboxes.h"
#include "tests/support/testenv.h"
#include "tests/support/testserver.h"

// Connecting, listing and stopping from the main window against the real server.
class ListingTest : public QObject
{
    Q_OBJECT

    QJsonObject m_corpus;

    QStringList idsIn(const QString &folder) const
    {
        QStringList ids;
        for (const QJsonValue &id : m_corpus.value("folders").toObject().value(folder).toArray())
            ids << id.toString();
        return ids;
    }

    QJsonObject message(const QString &id) const
    {
        for (const QJsonValue &entry : m_corpus.value("messages").toArray()) {
            if (entry.toObject().value("id").toString() == id)
                return entry.toObject();
        }
        return QJsonObject();
    }

    std::unique_ptr<Form1> connectedWindow(ScriptedBoxes &boxes, const QString &password = QString())
    {
        auto window = std::make_unique<Form1>();
        window->Form_Load();
        window->Text1->setText(TestServer::instance().user());
        window->Text2->setText(password.isNull() ? TestServer::instance().password() : password);
        window->PushButton5_Click();
        Q_UNUSED(boxes);
        return window;
    }

    void select(Form1 &window, const QString &caption)
    {
        for (int number = 3; number <= 10; ++number) {
            if (window.folderOption(number)->text() == caption)
                window.folderOption(number)->click();
        }
    }

    QStringList column(Form1 &window, int column)
    {
        QStringList texts;
        for (int row = 0; row < window.ListView1->rowCount(); ++row)
            texts << window.ListView1->text(row, column);
        return texts;
    }

private slots:
    void initTestCase()
    {
        TestServer::useCorpusTimeZone();
        useTemporaryHome();
        setProgramEndHandler([] {});
        TestServer &server = TestServer::instance();
        QVERIFY2(server.isRunning(), qPrintable(server.startError()));
        server.serveProgram();
        QFile expected(server.expectedFieldsFile());
        QVERIFY(expected.open(QIODevice::ReadOnly));
        m_corpus = QJsonDocument::fromJson(expected.readAll()).object();
        QVERIFY(!idsIn("[Gmail]/All Mail").isEmpty());
    }

    void init()
    {
        QFile::remove(Settings::filePath());
        const MailServer server = program().server;
        resetProgramState();
        program().server = server;
    }

    void connectAndDisconnect()
    {
        ScriptedBoxesScope boxes;
        Settings::write(SettingKey::CharactersFilter, QStringLiteral("abc "));
        auto window = connectedWindow(*boxes);
        QVERIFY(boxes->shown.empty());
        QCOMPARE(window->PushButton5->text(), QStringLiteral("Disconnect"));
        QCOMPARE(window->statusLine(), QStringLiteral("Connected to Gmail."));
        // The captions follow the server's order of its system folders.
        QStringList systemFolders;
        for (const QString &line : TestServer::instance().doveadm({"mailbox", "list", "-u", TestServer::instance().user()})
                                       .split('\n')) {
            if (line.startsWith(QLatin1String("[Gmail]/")))
                systemFolders << line.mid(8).trimmed();
        }
        QCOMPARE(systemFolders.size(), 7);
        for (int entry = 1; entry <= 7; ++entry)
            QCOMPARE(window->folderOption(entry + 3)->text(), systemFolders[entry - 1]);
        QCOMPARE(window->Label3->text(), QStringLiteral("Character Filter: abc "));
        QCOMPARE(window->Label4->text(), QStringLiteral("No Label Filter set"));
        QVERIFY(program().LabelNames.has_value());
        QVERIFY(program().LabelNames->contains(QStringLiteral("Work/Projects")));
        QVERIFY(program().LabelNames->contains(QString::fromUtf8("Reçus")));
        QVERIFY(!program().LabelNames->contains(QStringLiteral("INBOX")));
        QVERIFY(!window->isBusy());

        // "Remember me" off: the boxes and keys are emptied at Disconnect.
        QVERIFY(!window->Check1->isChecked());
        window->PushButton5_Click();
        QCOMPARE(window->PushButton5->text(), QStringLiteral("1. Connect"));
        QCOMPARE(window->statusLine(), QStringLiteral("Disconnected from Gmail."));
        QCOMPARE(window->Label3->text(), QStringLiteral("No Character Filter set"));
        QCOMPARE(window->CharactersFilter, QStringLiteral("abc "));
        QCOMPARE(window->Text1->text(), QString());
        QCOMPARE(Settings::read(SettingKey::User), QString());
        QCOMPARE(Settings::read(SettingKey::Password), QString());
        QCOMPARE(window->Label1->text(), QStringLiteral("Total Number Of Emails: 0"));
        QVERIFY(!window->oSession);
    }

    void disconnectRemembered()
    {
        ScriptedBoxesScope boxes;
        auto window = connectedWindow(*boxes);
        window->Check1->click();
        window->PushButton5_Click();
        QCOMPARE(window->Text1->text(), TestServer::instance().user());
        QCOMPARE(Settings::read(SettingKey::Password), TestServer::instance().password());
        QVERIFY(window->Check1->isChecked());
        QCOMPARE(window->Option4->text(), QStringLiteral("All Mail"));
        QCOMPARE(window->Option10->text(), QStringLiteral("Important"));
    }

    void failedLogin()
    {
        ScriptedBoxesScope boxes;
        auto window = connectedWindow(*boxes, QStringLiteral("wrong password"));
        QCOMPARE(boxes->shown.size(), size_t(1));
        QCOMPARE(boxes->shown[0].buttons, BoxButtons::YesNo);
        QVERIFY(boxes->shown[0].text.startsWith(
            QStringLiteral("Invalid login. Please double-check your username and password.")));
        QCOMPARE(window->PushButton5->text(), QStringLiteral("1. Connect"));
        QCOMPARE(window->statusLine(), QStringLiteral("Disconnected from Gmail."));
        QCOMPARE(window->Text2->text(), QStringLiteral("wrong password"));
        QVERIFY(!window->oSession);
        QVERIFY(!window->isBusy());
    }

    void notConnected()
    {
        ScriptedBoxesScope boxes;
        auto window = std::make_unique<Form1>();
        window->Form_Load();
        window->PushButton10_Click();
        window->PushButton2_Click();
        QCOMPARE(boxes->count(QStringLiteral("Please connect first (Step 1) before using this feature.")), 2);
        QCOMPARE(boxes->shown.size(), size_t(2));
        QVERIFY(window->ListView1->sortingOn());
    }

    void listAllMail()
    {
        ScriptedBoxesScope boxes;
        auto window = connectedWindow(*boxes);
        select(*window, QStringLiteral("All Mail"));
        QCOMPARE(window->folderName(), QStringLiteral("[Gmail]/All Mail"));
        QSignalSpy progress(window->ProgressBar1, &QProgressBar::valueChanged);
        window->PushButton10_Click();
        const QStringList ids = idsIn(QStringLiteral("[Gmail]/All Mail"));
        QCOMPARE(window->ListView1->rowCount(), ids.size());
        QCOMPARE(boxes->texts(), std::vector<QString>{QStringLiteral("Done.")});
        QCOMPARE(window->Label1->text(), QStringLiteral("Total Number Of Emails: %1").arg(ids.size()));
        QCOMPARE(window->Label2->text(), QStringLiteral("Selected Emails: 0"));
        // Newest day first.
        const QStringList keys = column(*window, 5);
        for (int i = 1; i < keys.size(); ++i)
            QVERIFY2(!(keys[i - 1] < keys[i]), qPrintable(keys[i - 1] + " before " + keys[i]));
        // Every row's record is the message of that row, whatever the sort did.
        for (int row = 0; row < window->ListView1->rowCount(); ++row) {
            const std::optional<MailRecord> record = window->MailRecords.find(window->ListView1->recordOf(row));
            QVERIFY(record);
            QCOMPARE(record->From, window->ListView1->text(row, 0));
            QCOMPARE(record->Subject, window->ListView1->text(row, 3));
            QCOMPARE(record->ReceivedDate, window->ListView1->text(row, 4));
        }
        const QJsonObject first = message(ids.first());
        const int row = column(*window, 3).indexOf(first.value("subject").toString());
        QVERIFY(row >= 0);
        QCOMPARE(window->MailRecords.find(window->ListView1->recordOf(row))->PlainTextBody,
                 first.value("plain").toString());
        // Idle again.
        QCOMPARE(window->PushButton10->text(), QStringLiteral("2a. Get All Emails"));
        QCOMPARE(window->PushButton2->text(), QStringLiteral("2b. Get Some Emails"));
        QVERIFY(!window->PushButton2->isHidden());
        QCOMPARE(window->PushButton10->width(), twips(3840));
        QCOMPARE(window->statusLine(), QStringLiteral("Progress Bar"));
        QCOMPARE(window->ProgressBar1->value(), 0);
        QVERIFY(!window->isBusy());
        QVERIFY(!window->oSession);
        QVERIFY(!progress.isEmpty());

        // The panel's session is gone: the next listing logs in on a new one.
        boxes->shown.clear();
        window->PushButton10_Click();
        QCOMPARE(window->ListView1->rowCount(), ids.size());
        QCOMPARE(boxes->texts(), std::vector<QString>{QStringLiteral("Done.")});
    }

    // An account whose system folders live under "[Google Mail]/": captioned
    // without the prefix, listed by the server's own name, and no label.
    void googleMailAccount()
    {
        ScriptedBoxesScope boxes;
        const TestServer &server = TestServer::instance();
        auto window = std::make_unique<Form1>();
        window->Form_Load();
        window->Text1->setText(server.googleMailUser());
        window->Text2->setText(server.googleMailPassword());
        window->PushButton5_Click();
        QStringList captions;
        for (const QString &line : server.doveadm({"mailbox", "list", "-u", server.googleMailUser()}).split('\n')) {
            if (line.startsWith(QLatin1String("[Google Mail]/")))
                captions << line.mid(14).trimmed();
        }
        QCOMPARE(captions.size(), 7);
        for (int entry = 1; entry <= 7; ++entry)
            QCOMPARE(window->folderOption(entry + 3)->text(), captions[entry - 1]);
        QVERIFY(!program().LabelNames.has_value());
        select(*window, QStringLiteral("All Mail"));
        QCOMPARE(window->folderName(), QStringLiteral("[Google Mail]/All Mail"));
        window->PushButton10_Click();
        QCOMPARE(boxes->texts(), std::vector<QString>{QStringLiteral("Done.")});
        const QJsonObject folders = m_corpus.value("googleMail").toObject().value("folders").toObject();
        QCOMPARE(window->ListView1->rowCount(), folders.value("[Google Mail]/All Mail").toArray().size());
        QVERIFY(window->ListView1->rowCount() > 0);
    }

    void emptyAndMissingFolders()
    {
        ScriptedBoxesScope boxes;
        auto window = connectedWindow(*boxes);
        window->LabelFilter = QStringLiteral("No Such Label");
        window->PushButton10_Click();
        QCOMPARE(boxes->shown.size(), size_t(2));
        QCOMPARE(boxes->shown[0].buttons, BoxButtons::YesNo);
        QCOMPARE(boxes->shown[1].text, QStringLiteral("There are no emails in the Folder you selected."));
        QCOMPARE(window->ListView1->rowCount(), 0);

        boxes->shown.clear();
        window->LabelFilter = QString();
        select(*window, QStringLiteral("Trash"));
        window->PushButton10_Click();
        QCOMPARE(boxes->texts(), std::vector<QString>{QStringLiteral("There are no emails in the Folder you selected.")});
    }

    void labelFilterWinsOverTheOption()
    {
        ScriptedBoxesScope boxes;
        auto window = connectedWindow(*boxes);
        select(*window, QStringLiteral("Sent Mail"));
        window->LabelFilter = QStringLiteral("Work/Projects");
        window->PushButton10_Click();
        QCOMPARE(window->ListView1->rowCount(), idsIn(QStringLiteral("Work/Projects")).size());
    }

    void characterFilter()
    {
        ScriptedBoxesScope boxes;
        auto window = connectedWindow(*boxes);
        select(*window, QStringLiteral("All Mail"));
        // Pick a subject word from the corpus and search it in other letters.
        const QJsonObject sample = message(idsIn(QStringLiteral("[Gmail]/All Mail")).first());
        const QString subject = sample.value("subject").toString();
        QVERIFY(!subject.isEmpty());
        window->CharactersFilter = subject.toUpper();
        window->PushButton10_Click();
        QVERIFY(window->ListView1->rowCount() >= 1);
        QVERIFY(column(*window, 3).contains(subject));
        for (const QString &listed : column(*window, 3)) {
            const int row = column(*window, 3).indexOf(listed);
            const std::optional<MailRecord> record = window->MailRecords.find(window->ListView1->recordOf(row));
            const QString filter = window->CharactersFilter;
            QVERIFY(record->Subject.contains(filter, Qt::CaseInsensitive) || record->From.contains(filter)
                    || record->FromName.contains(filter) || record->FromAddress.contains(filter)
                    || record->ReceivedDate.contains(filter) || record->PlainTextBody.contains(filter));
        }
        // Text found only in HTML bodies lists nothing.
        window->CharactersFilter = QStringLiteral("<html");
        window->PushButton10_Click();
        for (int row = 0; row < window->ListView1->rowCount(); ++row) {
            const std::optional<MailRecord> record = window->MailRecords.find(window->ListView1->recordOf(row));
            QVERIFY(record->PlainTextBody.contains(QStringLiteral("<html")));
        }
    }

    void stopDuringListing()
    {
        ScriptedBoxesScope boxes;
        auto window = connectedWindow(*boxes);
        select(*window, QStringLiteral("All Mail"));
        const int total = idsIn(QStringLiteral("[Gmail]/All Mail")).size();
        QVERIFY(total > 4);
        bool clicked = false;
        connect(window->ListView1->rows(), &QAbstractItemModel::rowsInserted, window.get(), [&] {
            if (!clicked && window->ListView1->rowCount() == 3) {
                clicked = true;
                QCOMPARE(window->PushButton10->text(), QStringLiteral("Stop"));
                QVERIFY(window->PushButton2->isHidden());
                QVERIFY(window->isBusy());
                window->PushButton10->click();
            }
        });
        window->PushButton10_Click();
        QVERIFY(clicked);
        QCOMPARE(window->ListView1->rowCount(), 3);
        QVERIFY(window->ListView1->sortingOn());
        QCOMPARE(boxes->texts(), std::vector<QString>{QStringLiteral("Done.")});
        QCOMPARE(window->PushButton10->text(), QStringLiteral("2a. Get All Emails"));
        QVERIFY(!window->PushButton2->isHidden());
        QVERIFY(!window->isBusy());
        QVERIFY(!window->oSession);
        // The connection is still usable for the next listing.
        window->PushButton10_Click();
        QCOMPARE(window->ListView1->rowCount(), total);
    }

    // Answers the range dialog once it is open: a first and last number, or the close box.
    void answerRange(const QString &first, const QString &last)
    {
        // The dialog opens only after the command has connected and counted.
        auto *poll = new QTimer(this);
        poll->setInterval(10);
        connect(poll, &QTimer::timeout, this, [=] {
            auto *dialog = qobject_cast<Form2 *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            poll->stop();
            poll->deleteLater();
            if (first.isNull()) {
                dialog->close();
                return;
            }
            dialog->Text1_0->setText(first);
            dialog->Text1_1->setText(last);
            dialog->PushButton1->click();
        });
        poll->start();
    }

    void listSomeEmails_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("done");
        QTest::newRow("a valid range") << "2" << "4" << 3 << true;
        QTest::newRow("first after last") << "5" << "2" << 0 << true;
        QTest::newRow("closed with the close box") << QString() << QString() << 0 << false;
    }

    void listSomeEmails()
    {
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(int, rows);
        QFETCH(bool, done);
        ScriptedBoxesScope boxes;
        auto window = connectedWindow(*boxes);
        select(*window, QStringLiteral("All Mail"));
        answerRange(first, last);
        window->PushButton2_Click();
        QCOMPARE(window->ListView1->rowCount(), rows);
        QCOMPARE(boxes->count(QStringLiteral("Done.")), done ? 1 : 0);
        QCOMPARE(window->PushButton2->text(), QStringLiteral("2b. Get Some Emails"));
        QCOMPARE(window->PushButton10->text(), QStringLiteral("2a. Get All Emails"));
        QVERIFY(!window->PushButton2->isHidden());
        QVERIFY(!window->isBusy());
        QVERIFY(!QApplication::activeModalWidget());
    }

    // Clicks that arrive while a login waits on the server.
    void connectionPanelConcurrentPaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("failureBox"); // the start of the session's Yes/No box, "" for none
        QTest::newRow("second 1. Connect click while a connect waits") << "second connect" << "";
        // The session reports the stopped login like any failed one.
        QTest::newRow("Stop during a listing's own connect") << "stop" << "Invalid login.";
        QTest::newRow("login refused on the listing's own session") << "refused" << "Invalid login.";
    }

    void connectionPanelConcurrentPaths()
    {
        QFETCH(QString, path);
        QFETCH(QString, failureBox);
        ScriptedBoxesScope boxes;
        auto window = std::make_unique<Form1>();
        window->Form_Load();
        window->Text1->setText(TestServer::instance().user());
        window->Text2->setText(TestServer::instance().password());
        // Runs `click` once, from the first event turn inside the waiting login.
        bool clicked = false;
        auto whileLoginWaits = [&](std::function<void()> click) {
            QTimer::singleShot(0, window.get(), [&, click] {
                clicked = true;
                click();
            });
        };
        if (path == QLatin1String("second connect")) {
            whileLoginWaits([&] {
                const std::shared_ptr<clsImapSession> waiting = window->oSession;
                QVERIFY(waiting);
                window->PushButton5->click();
                QCOMPARE(window->oSession, waiting); // no second login
                QCOMPARE(window->PushButton5->text(), QStringLiteral("Disconnect"));
                QCOMPARE(window->statusLine(), QStringLiteral("Connecting to Gmail..."));
            });
            window->PushButton5_Click();
            QCOMPARE(window->statusLine(), QStringLiteral("Connected to Gmail."));
            QVERIFY(program().LabelNames.has_value()); // the first Connect enumerated the folders
            QVERIFY(window->oSession);
        } else {
            window->PushButton5_Click();
            select(*window, QStringLiteral("All Mail"));
            window->oSession.reset(); // as an earlier listing leaves it: the next one logs in itself
            if (path == QLatin1String("refused"))
                window->Text2->setText(QStringLiteral("wrong password"));
            else
                whileLoginWaits([&] {
                    QCOMPARE(window->PushButton10->text(), QStringLiteral("Stop"));
                    QVERIFY(window->oSession);
                    window->PushButton10->click();
                });
            window->PushButton10_Click();
            QCOMPARE(window->ListView1->rowCount(), 0);
            QVERIFY(!window->oSession);
            QCOMPARE(window->PushButton10->text(), QStringLiteral("2a. Get All Emails"));
            QCOMPARE(window->PushButton2->text(), QStringLiteral("2b. Get Some Emails"));
            QVERIFY(!window->PushButton2->isHidden());
            QCOMPARE(window->statusLine(), QStringLiteral("Progress Bar"));
        }
        QCOMPARE(clicked, path != QLatin1String("refused"));
        QCOMPARE(window->PushButton5->text(), QStringLiteral("Disconnect"));
        QVERIFY(!window->isBusy());
        QCOMPARE(boxes->count(QStringLiteral("Done.")), 0);
        QCOMPARE(boxes->shown.size(), size_t(failureBox.isEmpty() ? 0 : 1));
        if (!failureBox.isEmpty()) {
            QCOMPARE(boxes->shown[0].buttons, BoxButtons::YesNo);
            QVERIFY(boxes->shown[0].text.startsWith(failureBox));
        }
    }

    void listingResetsTextCheck_data()
    {
        QTest::addColumn<bool>("some");
        QTest::newRow("2a. Get All Emails") << false;
        QTest::newRow("2b. Get Some Emails") << true;
    }

    // The first "Check Emails Containing..." after a new listing starts by clearing marks.
    void listingResetsTextCheck()
    {
        QFETCH(bool, some);
        ScriptedBoxesScope boxes;
        auto window = connectedWindow(*boxes);
        select(*window, QStringLiteral("All Mail"));
        window->TextCheckApplied = true; // a check-by-text run on the previous list
        if (some) {
            answerRange(QStringLiteral("1"), QStringLiteral("2"));
            window->PushButton2_Click();
        } else {
            window->PushButton10_Click();
        }
        QVERIFY(window->ListView1->rowCount() > 0);
        QVERIFY(!window->TextCheckApplied);
    }

    void exactWhenDoneShows_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::newRow("2a. Get All Emails") << QString() << QString();
        QTest::newRow("2b. Get Some Emails, 2 to 4") << "2" << "4";
    }

    // Rows and progress reach the screen a few times a second, yet the box
    // that ends a listing never stands over a window that lags behind.
    void exactWhenDoneShows()
    {
        QFETCH(QString, first);
        QFETCH(QString, last);
        ScriptedBoxesScope boxes;
        auto window = connectedWindow(*boxes);
        select(*window, QStringLiteral("All Mail"));
        window->show();
        QStringList whenDone;
        boxes->onShow = [&](const RecordedBox &box) {
            if (box.text == QLatin1String("Done."))
                whenDone << QString::number(window->ListView1->model()->rowCount()) << window->Label1->text()
                         << window->statusLine() << QString::number(window->ProgressBar1->value());
        };
        if (first.isNull()) {
            window->PushButton10_Click();
        } else {
            answerRange(first, last);
            window->PushButton2_Click();
        }
        const int rows = window->ListView1->rowCount();
        QVERIFY(rows > 0);
        QCOMPARE(whenDone, QStringList({QString::number(rows), QStringLiteral("Total Number Of Emails: %1").arg(rows),
                                        QStringLiteral("Progress Bar"), QStringLiteral("0")}));
    }

    void recDateKeys_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("key");
        QTest::newRow("midnight") << "2024-05-06" << "45418";
        QTest::newRow("morning") << "2024-05-06 11:59:59" << "45418";
        QTest::newRow("noon is a half: to even") << "2024-05-06 12:00:00" << "45418";
        QTest::newRow("noon the day after: to even") << "2024-05-07 12:00:00" << "45420";
        QTest::newRow("afternoon counts as next day") << "2024-05-06 12:00:01" << "45419";
        QTest::newRow("no date") << "" << "";
        QTest::newRow("leap day afternoon") << "2024-02-29 18:30:00" << "45352";
        QTest::newRow("first day of the count") << "1899-12-30" << "0";
        QTest::newRow("no such day") << "2023-02-29" << "";
        QTest::newRow("no such hour") << "2024-05-06 24:00:00" << "";
        QTest::newRow("not a date") << "yesterday" << "";
        QTest::newRow("date with words after it") << "2024-05-06 at noon" << "";
    }

    void recDateKeys()
    {
        QFETCH(QString, date);
        QFETCH(QString, key);
        QCOMPARE(recDateKey(date), key);
    }
};

QTEST_MAIN(ListingTest)
#include "tst_listing.moc"
