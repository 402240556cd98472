#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "app/errortrap.h"
#include "app/filehelpers.h"
#include "app/textfilewriter.h"
#include "tests/support/scriptedboxes.h"
#include "tests/support/testenv.h"

#include <unistd.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestFileHelpers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useTemporaryHome(); }

    void filterCharacters_data();
    void filterCharacters();
    void filterCharactersCountsIn16Bits();
    void shortenFileName_data();
    void shortenFileName();
    void folderExists_data();
    void folderExists();
    void browseForFolder_data();
    void browseForFolder();

    void writerWritesUtf8WithoutMark();
    void writerReplacesLongerFileWhole();
    void writerDiscardLeavesOldFile();
    void writerOpenFailure_data();
    void writerOpenFailure();
};

void TestFileHelpers::filterCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("set");
    QTest::addColumn<bool>("keep");
    QTest::addColumn<QString>("expected");

    QTest::newRow("safe name drops colon, accent, slash, question mark")
        << QStringLiteral("Re: Café/Menu?") << FileNameCharacters << true << QStringLiteral("Re CafMenu");
    QTest::newRow("safe name of empty text") << QString() << FileNameCharacters << true << QString();
    QTest::newRow("safe name keeps every allowed character in order")
        << (QStringLiteral("z- 9") + FileNameCharacters) << FileNameCharacters << true
        << (QStringLiteral("z- 9") + FileNameCharacters);
    QTest::newRow("safe name drops tabs, dots and non-BMP characters")
        << QStringLiteral("a\tb.c\U0001F600d") << FileNameCharacters << true << QStringLiteral("abcd");
    QTest::newRow("drop the set's characters") << QStringLiteral("a-b-c") << QStringLiteral("-") << false
                                               << QStringLiteral("abc");
    QTest::newRow("keep only the set's characters")
        << QStringLiteral("a-b-c") << QStringLiteral("-") << true << QStringLiteral("--");
    QTest::newRow("comparison is case-sensitive") << QStringLiteral("AbC") << QStringLiteral("abc") << true
                                                  << QStringLiteral("b");
}

void TestFileHelpers::filterCharacters()
{
    QFETCH(QString, text);
    QFETCH(QString, set);
    QFETCH(bool, keep);
    QFETCH(QString, expected);
    QCOMPARE(FilterCharacters(text, set, keep), expected);
    if (set == FileNameCharacters && keep)
        QCOMPARE(SafeFileName(text), expected);
}

void TestFileHelpers::filterCharactersCountsIn16Bits()
{
    const QString longest(32767, QLatin1Char('a'));
    QCOMPARE(SafeFileName(longest), longest);
    try {
        SafeFileName(longest + QLatin1Char('a'));
        QFAIL("a text of 32,768 characters was filtered");
    } catch (const AppError &error) {
        QCOMPARE(error.description(), QStringLiteral("Overflow"));
    }
}

void TestFileHelpers::shortenFileName_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const QString long250 = QString(200, QLatin1Char('x')) + QString(50, QLatin1Char('y'));
    QTest::newRow("250 characters keep the first 200") << long250 << QString(200, QLatin1Char('x'));
    QTest::newRow("exactly 200 stay whole") << QString(200, QLatin1Char('x')) << QString(200, QLatin1Char('x'));
    QTest::newRow("10 characters stay whole") << QStringLiteral("0123456789") << QStringLiteral("0123456789");
}

void TestFileHelpers::shortenFileName()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(ShortenFileName(text), expected);
}

void TestFileHelpers::folderExists_data()
{
    QTest::addColumn<QString>("relative"); // "@" stands for a fresh temporary folder
    QTest::addColumn<bool>("expected");
    QTest::newRow("root") << QStringLiteral("/") << true;
    QTest::newRow("folder") << QStringLiteral("@") << true;
    QTest::newRow("folder with trailing separator") << QStringLiteral("@/") << true;
    QTest::newRow("folder with doubled separator inside") << QStringLiteral("@//sub") << true;
    QTest::newRow("a file's path") << QStringLiteral("@/file.txt") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("missing") << QStringLiteral("@/missing") << false;
    QTest::newRow("below a file") << QStringLiteral("@/file.txt/sub") << false;
    QTest::newRow("embedded NUL") << QStringLiteral("@/sub") + QChar(0) + QStringLiteral("x") << false;
}

void TestFileHelpers::folderExists()
{
    QFETCH(QString, relative);
    QFETCH(bool, expected);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    writeBytes(dir.filePath(QStringLiteral("file.txt")), "x");
    QString path = relative;
    if (path.startsWith(QLatin1Char('@')))
        path = dir.path() + path.mid(1);
    QCOMPARE(FolderExists(path), expected);
}

void TestFileHelpers::browseForFolder_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("expected");
    QTest::newRow("cancel") << QString() << QString();
    QTest::newRow("plain folder") << QStringLiteral("/home/user/mail") << QStringLiteral("/home/user/mail");
    QTest::newRow("trailing separator dropped") << QStringLiteral("/home/user/mail/") << QStringLiteral("/home/user/mail");
    QTest::newRow("root keeps its separator") << QStringLiteral("/") << QStringLiteral("/");
}

void TestFileHelpers::browseForFolder()
{
    QFETCH(QString, chosen);
    QFETCH(QString, expected);
    ScriptedBoxesScope boxes;
    boxes->folders.push_back(chosen);
    QCOMPARE(BrowseForFolder(nullptr, QStringLiteral("Select Folder"), QString()), expected);
    QCOMPARE(int(boxes->shown.size()), 1);
    QCOMPARE(boxes->shown[0].kind, RecordedBox::Folder);
    QCOMPARE(boxes->shown[0].text, QStringLiteral("Select Folder"));
}

void TestFileHelpers::writerWritesUtf8WithoutMark()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    TextFileWriter writer;
    writer.open(path);
    writer.write(QStringLiteral("Grüße\r\n"));
    writer.write(QStringLiteral("€"));
    QVERIFY(!QFile::exists(path)); // nothing looks complete before close
    writer.close();
    QCOMPARE(readAll(path), QByteArray("Gr\xc3\xbc\xc3\x9f" "e\r\n\xe2\x82\xac"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("out.txt")});
}

void TestFileHelpers::writerReplacesLongerFileWhole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    writeBytes(path, QByteArray(10000, 'x'));
    TextFileWriter writer;
    writer.open(path);
    writer.write(QStringLiteral("short"));
    writer.close();
    QCOMPARE(readAll(path), QByteArray("short"));
}

void TestFileHelpers::writerDiscardLeavesOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    writeBytes(path, "old contents");
    {
        TextFileWriter writer;
        writer.open(path);
        writer.write(QStringLiteral("new, but never closed"));
    }
    QCOMPARE(readAll(path), QByteArray("old contents"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("out.txt")});
}

void TestFileHelpers::writerOpenFailure_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("target is a folder") << QStringLiteral("folder");
    QTest::newRow("parent is missing") << QStringLiteral("missing");
    QTest::newRow("parent is a file") << QStringLiteral("file");
    QTest::newRow("empty path") << QStringLiteral("empty");
    QTest::newRow("folder not writable") << QStringLiteral("readonly");
}

void TestFileHelpers::writerOpenFailure()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("out.txt"));
    if (how == QLatin1String("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("out.txt")));
    } else if (how == QLatin1String("missing")) {
        path = dir.filePath(QStringLiteral("missing/out.txt"));
    } else if (how == QLatin1String("file")) {
        writeBytes(dir.filePath(QStringLiteral("plain")), "x");
        path = dir.filePath(QStringLiteral("plain/out.txt"));
    } else if (how == QLatin1String("empty")) {
        path.clear();
    } else {
        if (geteuid() == 0)
            QSKIP("permissions do not stop root; the other rows cover the failure");
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    }
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

    TextFileWriter writer;
    QString openFailure;
    try {
        writer.open(path);
        QFAIL("open succeeded");
    } catch (const AppError &error) {
        openFailure = error.description();
    }
    QVERIFY(!openFailure.isEmpty());
    QVERIFY(!writer.isOpen());
    try {
        writer.write(QStringLiteral("text"));
        QFAIL("write to a file that never opened succeeded");
    } catch (const AppError &error) {
        QCOMPARE(error.description(), openFailure);
    }
    writer.close(); // closing what never opened is no failure
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QTEST_MAIN(TestFileHelpers)
#include "tst_filehelpers.moc"
