#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/boxes.h"
#include "app/clock.h"
#include "app/programstate.h"
#include "app/settings.h"
#include "mainwindow/messagelist.h"
#include "tests/mainwindow/windowfixture.h"
#include "tests/support/scriptedboxes.h"
#include "tests/support/testenv.h"

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QByteArray kSeparator = "\r\n\r\n" + QByteArray(58, '=') + "\r\n\r\n";

MailRecord message(const QString &subject, const QString &body = QStringLiteral("Body"))
{
    MailRecord record;
    record.From = QStringLiteral("Ann Example <ann@example.com>");
    record.FromName = QStringLiteral("Ann Example");
    record.FromAddress = QStringLiteral("ann@example.com");
    record.Subject = subject;
    record.ReceivedDate = QStringLiteral("06/05/2024 09:15:00");
    record.PlainTextBody = body;
    record.HTMLTextBody = QStringLiteral("<p>never written</p>");
    return record;
}

QByteArray block(const MailRecord &record)
{
    return ("From: " + record.From + "\r\nSubject: " + record.Subject + "\r\nDate: " + record.ReceivedDate + "\r\n\r\n"
            + record.PlainTextBody)
        .toUtf8();
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Everything in the folder, hidden and temporary files included.
QStringList entries(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

QStringList sorted(QStringList names)
{
    names.sort();
    return names;
}

const QString kFolderMessage = QStringLiteral("Folder does not exist. Please select another folder.");

} // namespace

class TestSaving : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fileNames_data();
    void fileNames();
    void messageFileBytes_data();
    void messageFileBytes();
    void oneFileBytes_data();
    void oneFileBytes();
    void folderEndingInSeparator_data();
    void folderEndingInSeparator();
    void unusableFolder_data();
    void unusableFolder();
    void emptyListDoesNothing();
    void noCheckedRow();
    void failingWrites_data();
    void failingWrites();
    void subjectOfAnyLength_data();
    void subjectOfAnyLength();
    void rowWithoutRecord();
    void existingLongerFileReplaced_data();
    void existingLongerFileReplaced();
    void sortedRowsCarryRecords();
    void commandsRefusedWhileSaving_data();
    void commandsRefusedWhileSaving();
    void stopDuringRun_data();
    void stopDuringRun();
    void rowsBeyond16Bits_data();
    void rowsBeyond16Bits();
    void browseForFolder_data();
    void browseForFolder();

private:
    void useSingleFile() { m_window->Option2->click(); }
    ScriptedBoxes &boxes() { return **m_boxes; }

    std::unique_ptr<ScriptedBoxesScope> m_boxes;
    std::unique_ptr<Form1> m_window;
    std::unique_ptr<QTemporaryDir> m_folder;
};

void TestSaving::initTestCase()
{
    useTemporaryHome();
    setLocalDateSource([] { return QDate(2024, 5, 6); });
}

void TestSaving::init()
{
    m_boxes = std::make_unique<ScriptedBoxesScope>();
    m_window = loadedWindow();
    m_folder = std::make_unique<QTemporaryDir>();
    m_window->Text3->setText(m_folder->path());
    m_window->Option1->click();
}

void TestSaving::cleanup()
{
    if (m_folder)
        QFile::setPermissions(m_folder->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_window.reset();
    m_folder.reset();
    m_boxes.reset();
}

void TestSaving::fileNames_data()
{
    QTest::addColumn<QStringList>("subjects");
    QTest::addColumn<QString>("marks");
    QTest::addColumn<QStringList>("expected");
    const QString longSubject = QString(150, QLatin1Char('A')) + QStringLiteral(": ") + QString(150, QLatin1Char('B'));

    QTest::newRow("third file of the day")
        << QStringList{"a", "b", "Weekly report"} << "111"
        << QStringList{"1 - 2024-05-06 a.txt", "2 - 2024-05-06 b.txt", "3 - 2024-05-06 Weekly report.txt"};
    QTest::newRow("colon and slash dropped")
        << QStringList{"x", "Re: Plan/Budget"} << "11"
        << QStringList{"1 - 2024-05-06 x.txt", "2 - 2024-05-06 Re PlanBudget.txt"};
    QTest::newRow("subject of dropped characters only or empty")
        << QStringList{"Ωμέγα", ""} << "11" << QStringList{"1 - 2024-05-06 .txt", "2 - 2024-05-06 .txt"};
    QTest::newRow("accented letter dropped") << QStringList{"Café"} << "1" << QStringList{"1 - 2024-05-06 Caf.txt"};
    QTest::newRow("long subject cut to 200 before the extension")
        << QStringList{longSubject} << "1"
        << QStringList{QStringLiteral("1 - 2024-05-06 ") + QString(150, QLatin1Char('A')) + QLatin1Char(' ')
                       + QString(34, QLatin1Char('B')) + QStringLiteral(".txt")};
    QTest::newRow("same subject twice") << QStringList{"Hi", "Hi"} << "11"
                                        << QStringList{"1 - 2024-05-06 Hi.txt", "2 - 2024-05-06 Hi.txt"};
    QTest::newRow("counter follows saved messages, not rows")
        << QStringList{"s1", "s2", "s3", "s4", "s5"} << "01001"
        << QStringList{"1 - 2024-05-06 s2.txt", "2 - 2024-05-06 s5.txt"};
}

void TestSaving::fileNames()
{
    QFETCH(QStringList, subjects);
    QFETCH(QString, marks);
    QFETCH(QStringList, expected);
    for (int i = 0; i < subjects.size(); ++i) {
        addMessage(*m_window, message(subjects[i], QStringLiteral("body of ") + subjects[i]));
        m_window->ListView1->setChecked(i, marks[i] == QLatin1Char('1'));
    }

    m_window->PushButton7->click();

    QCOMPARE(entries(m_folder->path()), sorted(expected));
    for (const QString &name : expected) {
        QCOMPARE(name.size() - 4 <= 200, true);
        QVERIFY(readAll(m_folder->filePath(name)).contains("\r\n\r\nbody of "));
    }
    QCOMPARE(boxes().texts(), std::vector<QString>{QStringLiteral("Done.")});
    QCOMPARE(boxes().shown[0].title, applicationTitle());
    QCOMPARE(boxes().shown[0].icon, BoxIcon::None);
    QCOMPARE(m_window->PushButton7->text(), QStringLiteral("3. Start Downloading"));
    QVERIFY(!m_window->isBusy());
    QCOMPARE(checkMarks(*m_window), marks); // saving only reads the marks
}

void TestSaving::messageFileBytes_data()
{
    QTest::addColumn<QString>("body");
    QTest::newRow("empty body ends after the empty line") << QString();
    QTest::newRow("non-ASCII body keeps its own line ends") << QStringLiteral("Grüße aus Köln\nzweite Zeile\r\n€ 5\r");
}

void TestSaving::messageFileBytes()
{
    QFETCH(QString, body);
    MailRecord record = message(QStringLiteral("Menu"), body);
    record.From = QStringLiteral("Zoë <zoe@example.com>");
    addMessage(*m_window, record);
    m_window->ListView1->setChecked(0, true);

    m_window->PushButton7->click();

    const QByteArray expected = "From: Zo\xc3\xab <zoe@example.com>\r\nSubject: Menu\r\nDate: 06/05/2024 09:15:00\r\n\r\n"
        + body.toUtf8();
    QCOMPARE(readAll(m_folder->filePath(QStringLiteral("1 - 2024-05-06 Menu.txt"))), expected);
}

void TestSaving::oneFileBytes_data()
{
    QTest::addColumn<QString>("marks");
    QTest::newRow("one message") << "010";
    QTest::newRow("three messages in list order") << "1101";
}

void TestSaving::oneFileBytes()
{
    QFETCH(QString, marks);
    const QList<MailRecord> records{message(QStringLiteral("First"), QString()),
                                    message(QStringLiteral("Zweite Grüße"), QStringLiteral("ä\nö\r\nü")),
                                    message(QStringLiteral("Skipped"), QStringLiteral("skipped body")),
                                    message(QStringLiteral("Last"), QStringLiteral("last body"))};
    QByteArray expected;
    for (int i = 0; i < marks.size(); ++i) {
        addMessage(*m_window, records[i]);
        m_window->ListView1->setChecked(i, marks[i] == QLatin1Char('1'));
        if (marks[i] == QLatin1Char('1'))
            expected += block(records[i]) + kSeparator;
    }
    useSingleFile();

    m_window->PushButton7->click();

    QCOMPARE(entries(m_folder->path()), QStringList{QStringLiteral("Emails.txt")});
    const QByteArray written = readAll(m_folder->filePath(QStringLiteral("Emails.txt")));
    QCOMPARE(written, expected);
    QVERIFY(!written.startsWith("\xef\xbb\xbf"));
    QCOMPARE(boxes().texts(), std::vector<QString>{QStringLiteral("Done.")});
}

void TestSaving::folderEndingInSeparator_data()
{
    QTest::addColumn<bool>("singleFile");
    QTest::newRow("separate files") << false;
    QTest::newRow("one file") << true;
}

void TestSaving::folderEndingInSeparator()
{
    QFETCH(bool, singleFile);
    addMessage(*m_window, message(QStringLiteral("Hello")));
    m_window->ListView1->setChecked(0, true);
    m_window->Text3->setText(m_folder->path() + QLatin1Char('/'));
    if (singleFile)
        useSingleFile();

    m_window->PushButton7->click();

    QCOMPARE(entries(m_folder->path()),
             QStringList{singleFile ? QStringLiteral("Emails.txt") : QStringLiteral("1 - 2024-05-06 Hello.txt")});
}

void TestSaving::unusableFolder_data()
{
    QTest::addColumn<QString>("folder"); // "@" is the test's own folder
    QTest::newRow("missing folder") << QStringLiteral("@/missing");
    QTest::newRow("a file's path") << QStringLiteral("@/file.txt");
    QTest::newRow("empty text") << QString();
}

void TestSaving::unusableFolder()
{
    QFETCH(QString, folder);
    QFile file(m_folder->filePath(QStringLiteral("file.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    addMessage(*m_window, message(QStringLiteral("Hello")));
    m_window->ListView1->setChecked(0, true);
    m_window->Text3->setText(folder.replace(QLatin1Char('@'), m_folder->path()));

    m_window->PushButton7->click();

    QCOMPARE(boxes().texts(), std::vector<QString>{kFolderMessage});
    QCOMPARE(boxes().shown[0].title, applicationTitle());
    QCOMPARE(boxes().shown[0].icon, BoxIcon::None);
    QCOMPARE(entries(m_folder->path()), QStringList{QStringLiteral("file.txt")});
    QCOMPARE(m_window->PushButton7->text(), QStringLiteral("3. Start Downloading"));
}

void TestSaving::emptyListDoesNothing()
{
    m_window->Text3->setText(m_folder->filePath(QStringLiteral("missing")));
    m_window->PushButton7->click();
    QVERIFY(boxes().shown.empty());
}

void TestSaving::noCheckedRow()
{
    addMessage(*m_window, message(QStringLiteral("Hello")));
    addMessage(*m_window, message(QStringLiteral("World")));

    m_window->PushButton7->click();

    QCOMPARE(boxes().texts(), std::vector<QString>{QStringLiteral("Please select at least one message.")});
    QVERIFY(entries(m_folder->path()).isEmpty());
    QCOMPARE(m_window->PushButton7->text(), QStringLiteral("3. Start Downloading"));
    QVERIFY(!m_window->isBusy());
}

// Ways to make writing fail, for failingWrites; each undoes itself.
class WriteObstacle
{
public:
    WriteObstacle(const QString &how, const QString &folder, const QString &blocker)
        : m_folder(folder)
    {
        if (how == QLatin1String("blocked")) {
            m_ready = QDir(folder).mkdir(blocker);
        } else if (how == QLatin1String("readonly")) {
            m_ready = geteuid() != 0 && QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
            m_why = "permissions do not stop root; the other rows cover this";
        } else if (how == QLatin1String("size limit")) {
            // A file may not grow past 1000 bytes: the system refuses the write
            // as a full disk would, and needs neither root nor a mount.
            signal(SIGXFSZ, SIG_IGN);
            getrlimit(RLIMIT_FSIZE, &m_limit);
            rlimit small = m_limit;
            small.rlim_cur = 1000;
            m_ready = setrlimit(RLIMIT_FSIZE, &small) == 0;
            m_limited = m_ready;
        } else {
            // A 64 KiB memory file system of its own, full or read-only.
            m_mounted = mount("tmpfs", folder.toLocal8Bit().constData(), "tmpfs", 0, "size=64k") == 0;
            m_ready = m_mounted
                && (how == QLatin1String("full file system")
                    || mount(nullptr, folder.toLocal8Bit().constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0);
            m_why = "mounting a small file system needs root with the right to mount";
        }
    }
    ~WriteObstacle()
    {
        if (m_limited)
            setrlimit(RLIMIT_FSIZE, &m_limit);
        if (m_mounted)
            umount2(m_folder.toLocal8Bit().constData(), MNT_DETACH);
    }
    bool ready() const { return m_ready; }
    const char *why() const { return m_why; }
    void lift()
    {
        if (m_limited)
            setrlimit(RLIMIT_FSIZE, &m_limit);
        m_limited = false;
    }

private:
    QString m_folder;
    bool m_ready = false;
    bool m_limited = false;
    bool m_mounted = false;
    rlimit m_limit{};
    const char *m_why = "";
};

void TestSaving::failingWrites_data()
{
    QTest::addColumn<bool>("singleFile");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QList<int>>("reportedLines");
    QTest::addColumn<QString>("cause"); // the platform's words, or "" when any
    QTest::addColumn<QStringList>("saved");
    QTest::addColumn<QString>("closing");
    const QString reported = QStringLiteral(" Each failure was reported in an \"Application Error\" box before this one.");
    const QString twoOfThree = QStringLiteral("2 of 3 messages were saved.") + reported;
    const QString noEmails = QStringLiteral("Emails.txt was not written: none of the 3 messages was saved, and an "
                                            "earlier Emails.txt in the folder was left as it was.")
        + reported;
    const QStringList firstAndThird{"1 - 2024-05-06 First.txt", "3 - 2024-05-06 Third.txt"};

    QTest::newRow("separate files: a folder holds the first name")
        << false << "blocked" << QList<int>{146, 148} << QString()
        << QStringList{"1 - 2024-05-06 First.txt", "2 - 2024-05-06 Second.txt", "3 - 2024-05-06 Third.txt"}
        << twoOfThree;
    QTest::newRow("one file: a folder holds Emails.txt")
        << true << "blocked" << QList<int>{158, 166, 166, 166} << QString() << QStringList{"Emails.txt"} << noEmails;
    QTest::newRow("separate files: folder not writable")
        << false << "readonly" << QList<int>{146, 148, 146, 148, 146, 148} << "Permission denied" << QStringList{}
        << QStringLiteral("0 of 3 messages were saved.") + reported;
    QTest::newRow("one file: folder not writable")
        << true << "readonly" << QList<int>{158, 166, 166, 166} << "Permission denied" << QStringList{} << noEmails;
    // The second message is too big for what the disk takes.
    QTest::newRow("separate files: file size limit reached")
        << false << "size limit" << QList<int>{148} << "File too large" << firstAndThird << twoOfThree;
    QTest::newRow("one file: file size limit reached")
        << true << "size limit" << QList<int>{166, 166} << "File too large" << QStringList{} << noEmails;
    QTest::newRow("separate files: full file system")
        << false << "full file system" << QList<int>{148} << "No space left on device" << firstAndThird << twoOfThree;
    QTest::newRow("one file: read-only file system")
        << true << "read-only file system" << QList<int>{158, 166, 166, 166} << "Read-only file system"
        << QStringList{} << noEmails;
}

void TestSaving::failingWrites()
{
    QFETCH(bool, singleFile);
    QFETCH(QString, how);
    QFETCH(QList<int>, reportedLines);
    QFETCH(QString, cause);
    QFETCH(QStringList, saved);
    QFETCH(QString, closing);
    addMessage(*m_window, message(QStringLiteral("First")));
    addMessage(*m_window, message(QStringLiteral("Second"), QString(100000, QLatin1Char('b'))));
    addMessage(*m_window, message(QStringLiteral("Third")));
    m_window->PushButton4->click();
    if (singleFile)
        useSingleFile();
    const QString blocker = singleFile ? QStringLiteral("Emails.txt") : QStringLiteral("1 - 2024-05-06 First.txt");
    WriteObstacle obstacle(how, m_folder->path(), blocker);
    if (!obstacle.ready())
        QSKIP(obstacle.why());

    m_window->PushButton7->click();
    obstacle.lift();

    QCOMPARE(int(boxes().shown.size()), reportedLines.size() + 1);
    for (int i = 0; i < reportedLines.size(); ++i) {
        const RecordedBox &box = boxes().shown[size_t(i)];
        QCOMPARE(box.title, QStringLiteral("Application Error"));
        QCOMPARE(box.icon, BoxIcon::Warning);
        const QString location = QStringLiteral("\r\nin Pellucid2021/08/31.Form1.PushButton7_Click at line %1\r\r")
                                     .arg(reportedLines[i]);
        QVERIFY2(box.text.contains(location), qPrintable(box.text));
        QVERIFY2(!box.text.startsWith(QLatin1String("\r\n")), "the platform's description is missing");
        if (!cause.isEmpty())
            QVERIFY2(box.text.startsWith(cause + location), qPrintable(box.text));
    }
    QCOMPARE(boxes().shown.back().text, closing);
    QCOMPARE(boxes().shown.back().title, applicationTitle());
    QCOMPARE(entries(m_folder->path()), sorted(saved));
    QCOMPARE(m_window->PushButton7->text(), QStringLiteral("3. Start Downloading"));
    QVERIFY(!m_window->isBusy());
}

void TestSaving::subjectOfAnyLength_data()
{
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("name"); // after the counter and the date
    const QString x200 = QString(200, QLatin1Char('x'));
    QTest::newRow("over 32,767 kept characters") << QString(40000, QLatin1Char('k')) << QString(185, QLatin1Char('k'));
    QTest::newRow("over 32,767 with separators in it")
        << QStringLiteral("../../escaped") + QString(40000, QLatin1Char('x')) << QStringLiteral("escaped") + x200.left(178);
    QTest::newRow("kept characters only past 32,767")
        << QString(40000, QChar(0x00e9)) + x200 << x200.left(185);
    QTest::newRow("nothing kept in 70,000") << QString(70000, QLatin1Char('/')) << QString();
}

void TestSaving::subjectOfAnyLength()
{
    QFETCH(QString, subject);
    QFETCH(QString, name);
    // Nothing may land beside the folder, whatever the subject holds.
    QTemporaryDir parent;
    const QString folder = parent.filePath(QStringLiteral("out"));
    QVERIFY(QDir(parent.path()).mkdir(QStringLiteral("out")));
    m_window->Text3->setText(folder);
    addMessage(*m_window, message(subject, QStringLiteral("long one")));
    addMessage(*m_window, message(QStringLiteral("Fine")));
    m_window->PushButton4->click();

    m_window->PushButton7->click();

    QCOMPARE(boxes().texts(), std::vector<QString>{QStringLiteral("Done.")});
    const QString fileName = QStringLiteral("1 - 2024-05-06 ") + name + QStringLiteral(".txt");
    QCOMPARE(entries(parent.path()), QStringList{QStringLiteral("out")});
    QCOMPARE(entries(folder), sorted({fileName, QStringLiteral("2 - 2024-05-06 Fine.txt")}));
    QVERIFY(readAll(folder + QLatin1Char('/') + fileName).endsWith("\r\n\r\nlong one"));
}

void TestSaving::rowWithoutRecord()
{
    addMessage(*m_window, message(QStringLiteral("Good")));
    addMessage(*m_window, message(QStringLiteral("Lost")));
    addMessage(*m_window, message(QStringLiteral("Also good")));
    m_window->ListView1->setRecordOf(1, 99);
    m_window->PushButton4->click();

    m_window->PushButton7->click();

    QStringList lines;
    for (const RecordedBox &box : boxes().shown) {
        if (box.title == QLatin1String("Application Error"))
            lines << box.text.section(QStringLiteral("at line "), 1).left(3);
    }
    QCOMPARE(lines, (QStringList{"136", "144", "146", "148"}));
    QCOMPARE(entries(m_folder->path()), (QStringList{"1 - 2024-05-06 Good.txt", "3 - 2024-05-06 Also good.txt"}));
}

void TestSaving::existingLongerFileReplaced_data()
{
    QTest::addColumn<bool>("singleFile");
    QTest::newRow("separate files") << false;
    QTest::newRow("one file") << true;
}

void TestSaving::existingLongerFileReplaced()
{
    QFETCH(bool, singleFile);
    const QString name = singleFile ? QStringLiteral("Emails.txt") : QStringLiteral("1 - 2024-05-06 Short.txt");
    QFile old(m_folder->filePath(name));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(20000, 'o'));
    old.close();
    const MailRecord record = message(QStringLiteral("Short"), QStringLiteral("tiny"));
    addMessage(*m_window, record);
    m_window->ListView1->setChecked(0, true);
    if (singleFile)
        useSingleFile();

    m_window->PushButton7->click();

    QCOMPARE(readAll(m_folder->filePath(name)), singleFile ? block(record) + kSeparator : block(record));
    QCOMPARE(entries(m_folder->path()), QStringList{name});
}

void TestSaving::sortedRowsCarryRecords()
{
    // Added oldest first; sorting puts the newest on top.
    const QStringList days{"45000", "45002", "45001"};
    QList<MailRecord> records;
    for (const QString &day : days) {
        records << message(QStringLiteral("Day ") + day, QStringLiteral("body of day ") + day);
        addMessage(*m_window, records.back(), day);
    }
    m_window->SortListByDate();
    m_window->PushButton4->click();
    useSingleFile();

    m_window->PushButton7->click();

    QCOMPARE(readAll(m_folder->filePath(QStringLiteral("Emails.txt"))),
             block(records[1]) + kSeparator + block(records[2]) + kSeparator + block(records[0]) + kSeparator);
}

void TestSaving::commandsRefusedWhileSaving_data()
{
    QTest::addColumn<QString>("control"); // object name; the list gets a space key on its second row
    QTest::newRow("Disconnect") << "PushButton5";
    QTest::newRow("2a. Get All Emails") << "PushButton10";
    QTest::newRow("2b. Get Some Emails") << "PushButton2";
    QTest::newRow("Show List In Larger View") << "PushButton12";
    QTest::newRow("Check All") << "PushButton4";
    QTest::newRow("Uncheck All") << "PushButton6";
    QTest::newRow("Check Emails Containing...") << "PushButton9";
    QTest::newRow("Check Emails Not Containing...") << "PushButton11";
    QTest::newRow("Clear List") << "PushButton3";
    QTest::newRow("a row's check box") << "ListView1";
}

void TestSaving::commandsRefusedWhileSaving()
{
    QFETCH(QString, control);
    // Never the real server, should a listing command slip through.
    program().server = MailServer{QStringLiteral("127.0.0.1"), 1, QString()};
    m_window->PushButton5->setText(QStringLiteral("Disconnect"));
    for (const QString &subject : {QStringLiteral("First"), QStringLiteral("Second"), QStringLiteral("Third")})
        addMessage(*m_window, message(subject));
    m_window->ListView1->setChecked(0, true);
    m_window->ListView1->setChecked(2, true);
    m_window->UpdateCounters(false);
    const QString counters = m_window->Label1->text() + m_window->Label2->text();

    // A user's click (or key) on the control while the first row is saved.
    bool tried = false;
    bool dialogOpened = false;
    std::function<void()> tryCommand = [&] {
        if (m_window->PushButton7->text() != QLatin1String("Stop Downloading")) {
            QTimer::singleShot(0, m_window.get(), tryCommand);
            return;
        }
        QWidget *target = m_window->findChild<QWidget *>(control);
        if (control == QLatin1String("ListView1")) {
            QTRY_COMPARE(m_window->ListView1->model()->rowCount(), 3); // the view shows the rows it was given
            m_window->ListView1->setCurrentIndex(m_window->ListView1->model()->index(1, 0));
            QTest::keyClick(target, Qt::Key_Space);
        }
        else
            QTest::mouseClick(target, Qt::LeftButton);
        tried = true;
    };
    QTimer::singleShot(0, m_window.get(), tryCommand);
    // Should the control open a dialog, it must not hold the test.
    QTimer closer;
    closer.setInterval(10);
    connect(&closer, &QTimer::timeout, this, [&] {
        if (QWidget *dialog = QApplication::activeModalWidget()) {
            dialogOpened = true;
            dialog->close();
        }
    });
    closer.start();

    m_window->PushButton7->click();

    QVERIFY(tried);
    QVERIFY(!dialogOpened);
    QCOMPARE(boxes().texts(), std::vector<QString>{QStringLiteral("Done.")});
    QCOMPARE(entries(m_folder->path()), (QStringList{"1 - 2024-05-06 First.txt", "2 - 2024-05-06 Third.txt"}));
    QCOMPARE(checkMarks(*m_window), QStringLiteral("101"));
    QCOMPARE(m_window->Label1->text() + m_window->Label2->text(), counters);
    QCOMPARE(m_window->PushButton5->text(), QStringLiteral("Disconnect"));
    // Everything answers again once the run is over.
    QVERIFY(m_window->findChild<QWidget *>(control)->isEnabled());
}

void TestSaving::stopDuringRun_data()
{
    QTest::addColumn<bool>("singleFile");
    QTest::addColumn<bool>("clickAgain");
    QTest::addColumn<bool>("editFolder");
    QTest::newRow("separate files") << false << false << false;
    QTest::newRow("one file") << true << false << false;
    QTest::newRow("separate files, start clicked again after stop") << false << true << false;
    QTest::newRow("one file, start clicked again after stop") << true << true << false;
    QTest::newRow("separate files, folder box edited before stop") << false << false << true;
    QTest::newRow("one file, folder box emptied before stop") << true << false << true;
}

void TestSaving::stopDuringRun()
{
    QFETCH(bool, singleFile);
    QFETCH(bool, clickAgain);
    QFETCH(bool, editFolder);
    QList<MailRecord> records;
    for (const QString &subject : {QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three")}) {
        records << message(subject);
        addMessage(*m_window, records.back());
    }
    m_window->PushButton4->click();
    if (singleFile)
        useSingleFile();

    // Clicks "Stop Downloading" as soon as the window handles events with that caption.
    bool stopped = false;
    std::function<void()> clickStop = [&] {
        if (m_window->PushButton7->text() != QLatin1String("Stop Downloading")) {
            QTimer::singleShot(0, m_window.get(), clickStop);
            return;
        }
        if (editFolder) // the run keeps the folder it started with; Stop still stops it
            m_window->Text3->setText(singleFile ? QString() : m_folder->filePath(QStringLiteral("typo")));
        m_window->PushButton7->click();
        stopped = true;
        if (clickAgain)
            m_window->PushButton7->click(); // must not start a run inside the stopping one
    };
    QTimer::singleShot(0, m_window.get(), clickStop);

    m_window->PushButton7->click();

    QVERIFY(stopped);
    QVERIFY(m_window->SaveStopRequested);
    QVERIFY(boxes().shown.empty()); // no "Done." after a stop
    QCOMPARE(m_window->PushButton7->text(), QStringLiteral("3. Start Downloading"));
    QVERIFY(!m_window->isBusy());
    if (singleFile) {
        QCOMPARE(entries(m_folder->path()), QStringList{QStringLiteral("Emails.txt")});
        QCOMPARE(readAll(m_folder->filePath(QStringLiteral("Emails.txt"))), block(records[0]) + kSeparator);
    } else {
        QCOMPARE(entries(m_folder->path()), QStringList{QStringLiteral("1 - 2024-05-06 One.txt")});
    }
}

void TestSaving::rowsBeyond16Bits_data()
{
    QTest::addColumn<bool>("singleFile");
    QTest::newRow("one file") << true;
    QTest::newRow("separate files") << false;
}

void TestSaving::rowsBeyond16Bits()
{
    QFETCH(bool, singleFile);
    const int rows = singleFile ? 40000 : 32770;
    MessageListModel *model = m_window->ListView1->rows();
    for (int i = 1; i <= rows; ++i) {
        const MailRecord record = message(QStringLiteral("n%1").arg(i), QStringLiteral("b%1").arg(i));
        m_window->MailRecords.set(i, record);
        MessageRow row;
        row.setText(0, record.From);
        row.checked = true;
        row.record = i;
        model->addRow(std::move(row));
    }
    if (singleFile) {
        useSingleFile();
    } else if (QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
        // Tens of thousands of files, each synced before it is renamed into
        // place: on memory they cost the test seconds, not minutes.
        m_folder = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/corvina-test-XXXXXX"));
        m_window->Text3->setText(m_folder->path());
    }

    QElapsedTimer timer;
    timer.start();
    m_window->PushButton7->click();
    qInfo("saved %d messages (%s) in %lld ms", rows, singleFile ? "one file" : "separate files", timer.elapsed());

    QCOMPARE(boxes().texts(), std::vector<QString>{QStringLiteral("Done.")});
    if (singleFile) {
        const QByteArray written = readAll(m_folder->filePath(QStringLiteral("Emails.txt")));
        QCOMPARE(written.count(kSeparator), qsizetype(rows));
        QVERIFY(written.endsWith("\r\n\r\nb40000" + kSeparator));
    } else {
        QCOMPARE(entries(m_folder->path()).size(), rows);
        QCOMPARE(readAll(m_folder->filePath(QStringLiteral("32768 - 2024-05-06 n32768.txt"))).right(8),
                 QByteArray("\r\nb32768"));
        QVERIFY(QFile::exists(m_folder->filePath(QStringLiteral("32770 - 2024-05-06 n32770.txt"))));
    }
}

void TestSaving::browseForFolder_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("expected");
    QTest::newRow("cancel changes nothing") << QString() << QStringLiteral("/before");
    QTest::newRow("chosen folder without trailing separator")
        << QStringLiteral("/srv/mail/") << QStringLiteral("/srv/mail");
}

void TestSaving::browseForFolder()
{
    QFETCH(QString, chosen);
    QFETCH(QString, expected);
    m_window->Text3->setText(QStringLiteral("/before"));
    boxes().folders.push_back(chosen);

    m_window->PushButton1->click();

    QCOMPARE(int(boxes().shown.size()), 1);
    QCOMPARE(boxes().shown[0].kind, RecordedBox::Folder);
    QCOMPARE(boxes().shown[0].text, QStringLiteral("Select Folder"));
    QCOMPARE(m_window->Text3->text(), expected);
    QCOMPARE(Settings::read(SettingKey::Folder), expected);
}

QTEST_MAIN(TestSaving)
#include "tst_saving.moc"
