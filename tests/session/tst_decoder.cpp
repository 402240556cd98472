// decodeMessage against the generated corpus and against input no server
// would send in one piece.
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QtTest>

#include "session/messagedecoder.h"
#include "tests/support/testserver.h"

class TestDecoder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void corpusMessage_data();
    void corpusMessage();
    void midnightStaysMidnightInLocalTime();
    void headerFields_data();
    void headerFields();
    void badInput_data();
    void badInput();
    void deepNestingDoesNotCrash();
    void corpusThroughput();

private:
    QJsonArray m_messages;
};

static QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

static QString allMailFile(const QJsonObject &message)
{
    return message.value(QStringLiteral("file")).toObject().value(QStringLiteral("[Gmail]/All Mail")).toString();
}

void TestDecoder::initTestCase()
{
    TestServer::useCorpusTimeZone();
    TestServer &server = TestServer::instance();
    QVERIFY2(server.isRunning(), qPrintable(server.startError()));
    const QJsonDocument expected = QJsonDocument::fromJson(readFile(server.expectedFieldsFile()));
    m_messages = expected.object().value(QStringLiteral("messages")).toArray();
    QVERIFY(m_messages.size() > 20);
}

void TestDecoder::corpusMessage_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QJsonObject>("expected");
    for (const QJsonValue &value : std::as_const(m_messages)) {
        const QJsonObject message = value.toObject();
        QTest::newRow(qPrintable(message.value(QStringLiteral("id")).toString()))
            << allMailFile(message) << message;
    }
}

void TestDecoder::corpusMessage()
{
    QFETCH(QString, file);
    QFETCH(QJsonObject, expected);
    const QByteArray raw = readFile(file);
    QCOMPARE(raw.size(), expected.value(QStringLiteral("size")).toInt());

    const ImapEmail email = decodeMessage(raw);
    QCOMPARE(email.from, expected.value(QStringLiteral("from")).toString());
    QCOMPARE(email.fromName, expected.value(QStringLiteral("fromName")).toString());
    QCOMPARE(email.fromAddress, expected.value(QStringLiteral("fromAddress")).toString());
    QCOMPARE(email.subject, expected.value(QStringLiteral("subject")).toString());
    QCOMPARE(email.plainTextBody, expected.value(QStringLiteral("plain")).toString());
    QCOMPARE(email.htmlTextBody, expected.value(QStringLiteral("html")).toString());

    const QJsonValue date = expected.value(QStringLiteral("date"));
    if (date.isNull()) {
        QVERIFY(!email.date.isValid());
    } else {
        QCOMPARE(email.date, QDateTime::fromString(date.toString(), Qt::ISODate));
        QCOMPARE(email.date.timeSpec(), Qt::LocalTime);
    }
}

void TestDecoder::midnightStaysMidnightInLocalTime()
{
    const ImapEmail email = decodeMessage(QByteArrayLiteral(
        "From: a@example.com\r\nDate: Mon, 22 Mar 2021 00:00:00 +0000\r\n\r\nx\r\n"));
    QCOMPARE(email.date.date(), QDate(2021, 3, 22));
    QCOMPARE(email.date.time(), QTime(0, 0));
}

// One run of base64 words, each padded on its own as senders write them.
static QByteArray base64Words(const QString &text, int bytesPerWord)
{
    const QByteArray bytes = text.toUtf8();
    QByteArrayList words;
    for (qsizetype pos = 0; pos < bytes.size(); pos += bytesPerWord)
        words.append("=?utf-8?B?" + bytes.mid(pos, bytesPerWord).toBase64() + "?=");
    return words.join("\r\n ");
}

void TestDecoder::headerFields_data()
{
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<QStringList>("fields"); // from, name, address, subject, date in UTC

    const auto subject = [](const char *name, const QByteArray &value, const QString &expected) {
        QTest::newRow(name) << "Subject: " + value + "\r\n"
                            << QStringList{QString(), QString(), QString(), expected, QString()};
    };
    subject("padded base64 run",
            "=?utf-8?B?UsOpdW5pb24gdHI=?= =?utf-8?B?aW1lc3RyaWVsbGU6IHI=?= =?utf-8?B?w6lzdWx0YXRzIDIwMjU=?=",
            QStringLiteral("Réunion trimestrielle: résultats 2025"));
    subject("Cyrillic two words", "=?UTF-8?B?0J7RgtGH0ZHRgiDQt9CwIA==?=\r\n =?UTF-8?B?0LrQstCw0YDRgtCw0Ls=?=",
            QStringLiteral("Отчёт за квартал"));
    const QString longText = QStringLiteral("Réunion n°7, ordre du jour. ").repeated(1500).left(40000);
    subject("long subject of many words", base64Words(longText, 40), longText);
    subject("multibyte char split across words", "=?utf-8?B?Y2Fmww==?= =?utf-8?B?qSBvaw==?=",
            QStringLiteral("café ok"));
    subject("Q words", "=?iso-8859-1?Q?Caf=E9_cr=E8me?= =?utf-8?Q?_=C3?=\r\n =?utf-8?Q?=A0_emporter?=",
            QStringLiteral("Café crème à emporter"));
    subject("mixed charsets adjacent", "=?iso-8859-1?Q?caf=E9?= =?koi8-r?B?0NLJ18XU?= =?utf-8?B?IMOpdMOp?=",
            QStringLiteral("caféпривет été"));
    subject("whitespace between words dropped, to plain text kept",
            "Re:  =?utf-8?Q?a?=   =?utf-8?Q?b?= c =?utf-8?Q?d?=  e", QStringLiteral("Re:  ab c d  e"));
    subject("utf-8 word holding a latin-1 byte", "=?utf-8?Q?caf=E9?=", QStringLiteral("café"));
    subject("control chars to spaces", "=?utf-8?B?Li4vLi4vZW5jDQpGcm9tOiBmb3JnZWRAZXZpbA==?=",
            QStringLiteral("../../enc  From: forged@evil"));

    QTest::newRow("control chars in a name to spaces")
        << QByteArray("From: =?utf-8?Q?Eve=0D=0AFrom=3A_x?= <eve@example.com>\r\n")
        << QStringList{QStringLiteral("\"Eve  From: x\" <eve@example.com>"), QStringLiteral("Eve  From: x"),
                       QStringLiteral("eve@example.com"), QString(), QString()};
    QTest::newRow("padded base64 name")
        << QByteArray("From: =?utf-8?B?UsOpbWk=?= =?utf-8?B?IER1cG9udA==?= <remi@example.fr>\r\n")
        << QStringList{QStringLiteral("Rémi Dupont <remi@example.fr>"), QStringLiteral("Rémi Dupont"),
                       QStringLiteral("remi@example.fr"), QString(), QString()};
    QTest::newRow("name with empty address")
        << QByteArray("From: MAILER DAEMON <>\r\n")
        << QStringList{QStringLiteral("MAILER DAEMON <>"), QStringLiteral("MAILER DAEMON"), QString(), QString(),
                       QString()};
    QTest::newRow("date without seconds")
        << QByteArray("Date: 01 Jan 2001 00:01+0000\r\n")
        << QStringList{QString(), QString(), QString(), QString(), QStringLiteral("2001-01-01T00:01:00Z")};
}

// Headers read as a reader would read them: every encoded-word whole, no
// line breaks, nothing of the sender or the time lost.
void TestDecoder::headerFields()
{
    QFETCH(QByteArray, headers);
    QFETCH(QStringList, fields);
    const ImapEmail email = decodeMessage(headers + "\r\nbody\r\n");
    const QString date = email.date.isValid() ? email.date.toUTC().toString(Qt::ISODate) : QString();
    QCOMPARE((QStringList{email.from, email.fromName, email.fromAddress, email.subject, date}), fields);
}

static QByteArray textMessage(const QByteArray &contentType, const QByteArray &body,
                              const QByteArray &extraHeaders = QByteArray())
{
    return "From: a@example.com\r\nSubject: s\r\n" + extraHeaders + "Content-Type: " + contentType
           + "\r\n\r\n" + body;
}

void TestDecoder::badInput_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("plain");

    QTest::newRow("empty input") << QByteArray() << QString() << QString();
    QTest::newRow("only a line end") << QByteArray("\r\n") << QString() << QString();
    QTest::newRow("text without headers is kept as the body")
        << QByteArray("just some words\r\n") << QString() << QStringLiteral("just some words\r\n");
    QTest::newRow("headers without a body")
        << QByteArray("Subject: only headers\r\n") << QStringLiteral("only headers") << QString();
    QTest::newRow("declared utf-8 with latin-1 bytes")
        << textMessage("text/plain; charset=utf-8", "caf\xe9 \xc3\xa9t\xc3\xa9")
        << QStringLiteral("s") << QStringLiteral("café été");
    QTest::newRow("iso-8859-1 holding windows-1252 quotes")
        << textMessage("text/plain; charset=ISO-8859-1", "\x93quoted\x94 \xe9")
        << QStringLiteral("s") << QStringLiteral("“quoted” é");
    QTest::newRow("shift_jis cut inside a character")
        << textMessage("text/plain; charset=shift_jis", "\x93\xfa\x96")
        << QStringLiteral("s") << QStringLiteral("日") + QChar(0x2013);
    QTest::newRow("euc-kr with an invalid byte")
        << textMessage("text/plain; charset=euc-kr", "\xc7\xd1 \xff ok")
        << QStringLiteral("s") << QStringLiteral("한 ÿ ok");
    QTest::newRow("base64 with stray characters and no padding")
        << textMessage("text/plain; charset=utf-8", "aGVsbG8*!!", "Content-Transfer-Encoding: base64\r\n")
        << QStringLiteral("s") << QStringLiteral("hello");
    QTest::newRow("multipart without a closing boundary")
        << textMessage("multipart/mixed; boundary=xx", "--xx\r\nContent-Type: text/plain\r\n\r\ninside\r\n")
        << QStringLiteral("s") << QStringLiteral("inside\r\n");
    QTest::newRow("multipart without a boundary parameter")
        << textMessage("multipart/mixed", "--xx\r\n\r\nloose\r\n") << QStringLiteral("s") << QString();
    QTest::newRow("encoded word in an unknown charset")
        << QByteArray("Subject: =?x-no-such?Q?caf=E9?=\r\n\r\nb") << QStringLiteral("café")
        << QStringLiteral("b");
    QTest::newRow("nul bytes in the body")
        << textMessage("text/plain", QByteArray("a\0b", 3)) << QStringLiteral("s")
        << QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b"));

    QByteArray garbage(256 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(1234);
    for (char &byte : garbage)
        byte = char(generator.bounded(256));
    QTest::newRow("binary garbage") << garbage << QString() << QString();

    const QByteArray longHeader = "Subject: " + QByteArray(4 * 1024 * 1024, 'x') + "\r\n\r\nbody";
    QTest::newRow("four megabyte header line") << longHeader << QString(4 * 1024 * 1024, QLatin1Char('x'))
                                               << QStringLiteral("body");
}

// Whatever arrives, decoding returns; the rows say what must survive.
void TestDecoder::badInput()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, subject);
    QFETCH(QString, plain);
    const ImapEmail email = decodeMessage(raw);
    if (QTest::currentDataTag() == QLatin1String("binary garbage")) {
        QVERIFY(email.subject.isEmpty());
        return; // any reading of random bytes will do, as long as it returns
    }
    QCOMPARE(email.subject, subject);
    QCOMPARE(email.plainTextBody, plain);
}

void TestDecoder::deepNestingDoesNotCrash()
{
    QByteArray raw = "From: a@example.com\r\nSubject: deep\r\n";
    const int depth = 5000;
    for (int level = 0; level < depth; ++level)
        raw += "Content-Type: multipart/mixed; boundary=b" + QByteArray::number(level) + "\r\n\r\n--b"
               + QByteArray::number(level) + "\r\n";
    raw += "Content-Type: text/plain\r\n\r\ninnermost\r\n";
    const ImapEmail email = decodeMessage(raw);
    QCOMPARE(email.subject, QStringLiteral("deep"));
}

// Prints the decoding rate of the ordinary corpus messages and the time the
// 10 MB one takes; fails only when decoding is grossly slow.
void TestDecoder::corpusThroughput()
{
    QList<QByteArray> raws;
    QByteArray huge;
    for (const QJsonValue &value : std::as_const(m_messages)) {
        const QByteArray raw = readFile(allMailFile(value.toObject()));
        if (value.toObject().value(QStringLiteral("id")).toString() == QLatin1String("huge"))
            huge = raw;
        else
            raws.append(raw);
    }
    QVERIFY(!huge.isEmpty());

    QElapsedTimer timer;
    timer.start();
    int decoded = 0;
    qint64 textLength = 0;
    for (int round = 0; round < 100; ++round) {
        for (const QByteArray &raw : std::as_const(raws)) {
            textLength += decodeMessage(raw).plainTextBody.size();
            ++decoded;
        }
    }
    const double seconds = std::max<qint64>(1, timer.elapsed()) / 1000.0;
    timer.restart();
    textLength += decodeMessage(huge).plainTextBody.size();
    const qint64 hugeMs = timer.elapsed();
    QVERIFY(textLength > 0);
    qInfo("decoded %d messages in %.2f s: %.0f messages/s; the %lld-byte message took %lld ms",
          decoded, seconds, decoded / seconds, qint64(huge.size()), hugeMs);
    QVERIFY2(decoded / seconds > 200, "decoding is far slower than it should be");
    QVERIFY2(hugeMs < 5000, "a 10 MB message takes far too long");
}

QTEST_GUILESS_MAIN(TestDecoder)
#include "tst_decoder.moc"
