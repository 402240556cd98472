#include <QtTest>

#include <csignal>

#include <unistd.h>

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>

#include "app/appearance.h"
#include "app/errortrap.h"
#include "app/programstate.h"
#include "dialogs/form2.h"
#include "export/exportrun.h"
#include "mainwindow/form1.h"
#include "tests/support/fakeimapserver.h"
#include "tests/support/scriptedboxes.h"
#include "tests/support/testenv.h"
#include "tests/support/testserver.h"

namespace {

struct Outcome
{
    int status = -1;
    QString out;
    QString err;
};

// The export as users run it: its own process, with no display at all.
Outcome runExport(const QStringList &arguments, const QString &password, bool withServer = true)
{
    TestServer &server = TestServer::instance();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    if (!password.isNull())
        environment.insert(QStringLiteral("CORVINA_PASSWORD"), password);
    QStringList all{QStringLiteral("export")};
    if (withServer)
        all << "--server" << QStringLiteral("%1:%2").arg(server.host()).arg(server.port()) << "--ca-file"
            << server.caFile() << "--user" << server.user();
    QProcess process;
    process.setProcessEnvironment(environment);
    // No controlling terminal: a prompt has nowhere to go, as in a scheduled job.
    process.setChildProcessModifier([] { setsid(); });
    Outcome outcome;
    process.start(QStringLiteral(CORVINA_EXECUTABLE), all + arguments);
    if (!process.waitForFinished(120000))
        return outcome;
    outcome.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    outcome.err = QString::fromLocal8Bit(process.readAllStandardError());
    return outcome;
}

// Every entry of a folder, hidden ones too, with its bytes ("/" for a folder).
QMap<QString, QByteArray> contents(const QString &folder)
{
    QMap<QString, QByteArray> files;
    const QDir dir(folder);
    for (const QFileInfo &entry : dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        QFile file(entry.filePath());
        files.insert(entry.fileName(), entry.isDir() || !file.open(QIODevice::ReadOnly) ? QByteArray("/")
                                                                                       : file.readAll());
    }
    return files;
}

// The export's errorlog.txt (the program's data folder, not this test's).
QString errorLogText()
{
    QFile log(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Brackwater/Corvina/errorlog.txt"));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}


QByteArray firstMessage()
{
    return "From: a@example.com\r\nSubject: First\r\nDate: Mon, 6 May 2024 10:00:00 +0000\r\n\r\nBody one\r\n";
}

QByteArray savedFirstMessage()
{
    return "From: a@example.com\r\nSubject: First\r\nDate: 2024-05-06 10:00:00\r\n\r\nBody one\r\n";
}

// A scripted server's side of connecting, identifying, logging in as "u" and
// opening "Inbox" with `exists` messages, tags from A00`tag` on.
void scriptLogin(FakeImapServer &server, int tag, int exists)
{
    const auto tagged = [&](int offset) { return "A00" + QByteArray::number(tag + offset); };
    server.send("* OK ready\r\n")
        .expect(tagged(0) + " ID (\"GUID\" \"1\")\r\n")
        .send("* ID NIL\r\n" + tagged(0) + " OK\r\n")
        .expect(tagged(1) + " LOGIN \"u\" \"p\"\r\n")
        .send(tagged(1) + " OK\r\n")
        .expect(tagged(2) + " EXAMINE \"Inbox\"\r\n")
        .send("* " + QByteArray::number(exists) + " EXISTS\r\n" + tagged(2) + " OK [READ-ONLY]\r\n");
}

// An export of "Inbox" from a scripted server, which speaks plain TCP.
ExportOptions scriptedOptions(const FakeImapServer &server, const QString &out)
{
    ExportOptions options;
    options.server.host = QStringLiteral("127.0.0.1");
    options.server.port = server.port();
    options.tls = false;
    options.user = QStringLiteral("u");
    options.mailbox = QStringLiteral("Inbox");
    options.outFolder = out;
    options.quiet = true;
    return options;
}

} // namespace

// The command-line export: the same files as the window, honest exit
// statuses, and a password that stays out of sight.
class ExportTest : public QObject
{
    Q_OBJECT

    // Answers the range dialog once it is open.
    void answerRange(int first, int last)
    {
        auto *poll = new QTimer(this);
        poll->setInterval(10);
        connect(poll, &QTimer::timeout, this, [=] {
            auto *dialog = qobject_cast<Form2 *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            poll->stop();
            poll->deleteLater();
            dialog->Text1_0->setText(QString::number(first));
            dialog->Text1_1->setText(QString::number(last));
            dialog->PushButton1->click();
        });
        poll->start();
    }

    // The window's save of a whole folder or label (or a range of it), every
    // listed row checked.
    void saveThroughWindow(const QString &caption, const QString &label, const QString &filter, int first, int last,
                           bool oneFile, const QString &folder)
    {
        ScriptedBoxesScope boxes;
        Form1 window;
        window.Form_Load();
        window.Text1->setText(TestServer::instance().user());
        window.Text2->setText(TestServer::instance().password());
        window.PushButton5_Click();
        window.LabelFilter = label;
        window.CharactersFilter = filter;
        for (int number = 3; number <= 10; ++number) {
            if (window.folderOption(number)->text() == caption)
                window.folderOption(number)->click();
        }
        if (first > 0) {
            answerRange(first, last);
            window.PushButton2_Click();
        } else {
            window.PushButton10_Click();
        }
        window.PushButton4_Click();
        window.Text3->setText(folder);
        (oneFile ? window.Option2 : window.Option1)->click();
        window.PushButton7_Click();
        QCOMPARE(boxes->count(QStringLiteral("Done.")), 2);
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
    }

    void matchesWindowSave_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<bool>("oneFile");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("a whole folder, one file per message")
            << "All Mail" << QString() << QString() << 0 << 0 << false << QStringList{"--folder", "All Mail"};
        // "BOTH" matches one of the two subjects in another letter case: the
        // listing's rule, not a plain search, decides.
        QTest::newRow("a label, a range and a filter, into Emails.txt")
            << "Inbox" << "Work" << "BOTH" << 2 << 3 << true
            << QStringList{"--mailbox", "Work", "--range", "2:3", "--filter", "BOTH", "--one-file"};
    }

    void matchesWindowSave()
    {
        QFETCH(QString, caption);
        QFETCH(QString, label);
        QFETCH(QString, filter);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(bool, oneFile);
        QFETCH(QStringList, arguments);
        QTemporaryDir byWindow;
        QTemporaryDir byCommand;
        saveThroughWindow(caption, label, filter, first, last, oneFile, byWindow.path());
        const Outcome outcome = runExport(arguments << "--out" << byCommand.path(), TestServer::instance().password());
        QVERIFY2(outcome.status == ExportSucceeded, qPrintable(outcome.err));
        const QMap<QString, QByteArray> expected = contents(byWindow.path());
        QVERIFY(!expected.isEmpty());
        QVERIFY(expected.size() > 1 || oneFile);
        QCOMPARE(contents(byCommand.path()).keys(), expected.keys());
        QVERIFY(contents(byCommand.path()) == expected);
        QVERIFY2(outcome.out.contains(QStringLiteral(", not listed 0, not written 0, ")), qPrintable(outcome.out));
    }

    void exitStatuses_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("password"); // null: none given
        QTest::addColumn<QString>("prepare");  // "file": --out lies under a file; "directory": a folder takes a file's name
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("told");
        const QString right = TestServer::instance().password();
        QTest::newRow("wrong password") << QStringList{"--folder", "Inbox"} << "Wr0ng-Secret" << QString()
                                        << int(ExportLoginRefused) << "AUTHENTICATIONFAILED";
        QTest::newRow("unknown mailbox") << QStringList{"--mailbox", "No Such Label"} << right << QString()
                                         << int(ExportMailboxNotFound) << "doesn't exist";
        QTest::newRow("unknown system folder") << QStringList{"--folder", "Outbox"} << right << QString()
                                               << int(ExportMailboxNotFound) << "All Mail";
        QTest::newRow("folder under a regular file") << QStringList{"--mailbox", "Work/Projects"} << right << "file"
                                                     << int(ExportNotAllWritten) << "Cannot make the folder";
        QTest::newRow("a folder where a file goes") << QStringList{"--mailbox", "INBOX", "--range", "1:5"}
                                                    << right << "directory" << int(ExportNotAllWritten)
                                                    << "Is a directory";
        QTest::newRow("no password and no terminal") << QStringList{"--folder", "Inbox"} << QString() << QString()
                                                     << int(ExportUsage) << "No password";
        QTest::newRow("a range past the mailbox") << QStringList{"--folder", "Inbox", "--range", "100000:100001"}
                                                  << right << QString() << int(ExportUsage) << "past the mailbox";
    }

    void exitStatuses()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, password);
        QFETCH(QString, prepare);
        QFETCH(int, status);
        QFETCH(QString, told);
        QTemporaryDir scratch;
        QString out = scratch.filePath(QStringLiteral("out"));
        if (prepare == QLatin1String("file")) {
            QFile file(scratch.filePath(QStringLiteral("plain")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            out = file.fileName() + QStringLiteral("/out");
        }
        int written = 0;
        if (prepare == QLatin1String("directory")) {
            // The first run finds the names; a folder then stands where the first file goes.
            const Outcome first = runExport(QStringList(arguments) << "--out" << out, password);
            QCOMPARE(first.status, int(ExportSucceeded));
            const QStringList names = QDir(out).entryList(QDir::Files, QDir::Name);
            QVERIFY(names.size() == 5);
            QVERIFY(QFile::remove(out + '/' + names.first()));
            QVERIFY(QDir(out).mkdir(names.first()));
            written = names.size() - 1;
        }
        const Outcome outcome = runExport(arguments << "--out" << out, password);
        QVERIFY2(outcome.status == status, qPrintable(QString::number(outcome.status) + ' ' + outcome.err));
        QVERIFY2(outcome.err.contains(told), qPrintable(outcome.err));
        if (prepare == QLatin1String("directory")) {
            QVERIFY2(outcome.out.contains(QStringLiteral("saved %1, not listed 0, not written 1").arg(written)),
                     qPrintable(outcome.out));
            // The staging folder is gone; every file has a message's name.
            QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), written);
            QCOMPARE(QDir(out).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot).size(), 1);
        }
    }

    void passwordStaysSecret_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("fromCommand");
        QTest::newRow("right, from the variable") << TestServer::instance().password() << false;
        QTest::newRow("right, from a password command") << TestServer::instance().password() << true;
        QTest::newRow("refused, from the variable") << QStringLiteral("Wr0ng-Secret-77") << false;
    }

    void passwordStaysSecret()
    {
        QFETCH(QString, password);
        QFETCH(bool, fromCommand);
        QTemporaryDir scratch;
        QStringList arguments{"--mailbox", "Work/Projects", "--range", "1:3", "--out", scratch.filePath("out")};
        const QString commandLine = scratch.filePath(QStringLiteral("argv"));
        if (fromCommand) {
            QFile secret(scratch.filePath(QStringLiteral("secret")));
            QVERIFY(secret.open(QIODevice::WriteOnly));
            secret.write(password.toUtf8() + "\nsecond line is not the password\n");
            secret.close();
            // The command also keeps the export's argv as every user on the system sees it.
            arguments << "--password-command"
                      << QStringLiteral("cat /proc/$PPID/cmdline > '%1'; cat '%2'").arg(commandLine, secret.fileName());
        }
        const Outcome outcome = runExport(arguments, fromCommand ? QString() : password);
        QCOMPARE(outcome.status,
                 int(password == TestServer::instance().password() ? ExportSucceeded : ExportLoginRefused));
        if (fromCommand) {
            QFile shown(commandLine);
            QVERIFY(shown.open(QIODevice::ReadOnly));
            const QByteArray argv = shown.readAll();
            QVERIFY(argv.startsWith(QByteArray(CORVINA_EXECUTABLE) + '\0' + "export"));
            QVERIFY(!argv.contains(password.toUtf8()));
        }
        QVERIFY(!outcome.out.contains(password));
        QVERIFY(!outcome.err.contains(password));
        QVERIFY(outcome.status != ExportSucceeded || !errorLogText().isEmpty());
        QVERIFY(!errorLogText().contains(password));
    }

    // Faults a real server does not show on cue, from a scripted one, run in
    // this process (the export's own code; only main() is left out).
    void endsHonestly_data()
    {
        QTest::addColumn<bool>("interrupt");
        QTest::addColumn<int>("status");
        QTest::newRow("connection dropped part-way") << false << int(ExportNotAllListed);
        QTest::newRow("Ctrl-C part-way") << true << int(ExportInterrupted);
    }

    void endsHonestly()
    {
        QFETCH(bool, interrupt);
        QFETCH(int, status);
        const QByteArray message = firstMessage();
        const QByteArray size = QByteArray::number(message.size());
        FakeImapServer server;
        scriptLogin(server, 1, 3);
        server.expect("A004 FETCH 1:3 RFC822.SIZE\r\n")
            .send("* 1 FETCH (RFC822.SIZE " + size + ")\r\n* 2 FETCH (RFC822.SIZE 10)\r\n"
                  "* 3 FETCH (RFC822.SIZE 10)\r\nA004 OK\r\n")
            .accept();
        scriptLogin(server, 5, 3);
        server.expect("A008 FETCH 1 BODY.PEEK[]\r\nA009 FETCH 2:3 BODY.PEEK[]\r\n")
            .send("* 1 FETCH (BODY[] {" + size + "}\r\n" + message + ")\r\nA008 OK\r\n");
        if (!interrupt)
            server.close();

        QTemporaryDir out;
        ExportOptions options = scriptedOptions(server, out.path());
        if (interrupt) {
            // Ctrl-C once the first message is in and the server has gone quiet.
            auto *poll = new QTimer(this);
            connect(poll, &QTimer::timeout, this, [&server, poll] {
                if (server.scriptDone()) {
                    poll->stop();
                    std::raise(SIGINT);
                }
            });
            poll->start(20);
        }
        ExportRun run(options);
        QCOMPARE(run.run(QStringLiteral("p")), status);
        QVERIFY2(server.scriptDone(), qPrintable(server.problem()));
        // The message that came is saved whole; nothing else is in the folder.
        const QMap<QString, QByteArray> files = contents(out.path());
        QCOMPARE(files.size(), 1);
        QVERIFY(files.firstKey().startsWith(QStringLiteral("1 - ")));
        QVERIFY(files.firstKey().endsWith(QStringLiteral(" First.txt")));
        QCOMPARE(files.first(), savedFirstMessage());
    }

    // The sizes come first; past Gmail's daily limit nothing is fetched
    // unless the answer is yes (no terminal here: the answer is no).
    void asksSizesFirst_data()
    {
        QTest::addColumn<bool>("acceptLarge");
        QTest::addColumn<int>("status");
        QTest::newRow("past the daily limit, no terminal") << false << int(ExportDeclined);
        QTest::newRow("past the daily limit, --accept-large") << true << int(ExportSucceeded);
    }

    void asksSizesFirst()
    {
        QFETCH(bool, acceptLarge);
        QFETCH(int, status);
        QFile terminal(QStringLiteral("/dev/tty"));
        if (!acceptLarge && terminal.open(QIODevice::ReadOnly))
            QSKIP("run from a terminal: the export would ask it");
        const QByteArray message = firstMessage();
        FakeImapServer server;
        scriptLogin(server, 1, 1);
        server.expect("A004 FETCH 1:1 RFC822.SIZE\r\n").send("* 1 FETCH (RFC822.SIZE 2600000000)\r\nA004 OK\r\n");
        if (acceptLarge) {
            server.accept();
            scriptLogin(server, 5, 1);
            server.expect("A008 FETCH 1 BODY.PEEK[]\r\n")
                .send("* 1 FETCH (BODY[] {" + QByteArray::number(message.size()) + "}\r\n" + message
                      + ")\r\nA008 OK\r\n");
        }
        QTemporaryDir out;
        ExportOptions options = scriptedOptions(server, out.path());
        options.acceptLarge = acceptLarge;
        ExportRun run(options);
        QCOMPARE(run.run(QStringLiteral("p")), status);
        QVERIFY2(server.scriptDone(), qPrintable(server.problem()));
        QCOMPARE(contents(out.path()).values(), acceptLarge ? QList<QByteArray>{savedFirstMessage()} : QList<QByteArray>());
    }
};

QTEST_MAIN(ExportTest)
#include "tst_export.moc"
