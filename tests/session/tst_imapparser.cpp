#include <QTest>

#include "session/imapframer.h"
#include "session/imapparser.h"
#include "session/mutf7.h"

using Status = ImapResponse::Status;
using Kind = ImapResponse::Kind;

class TestImapParser : public QObject
{
    Q_OBJECT

private slots:
    void responses_data();
    void responses();
    void malformed_data();
    void malformed();
    void values_data();
    void values();
    void listNames_data();
    void listNames();
    void fetchLiteralKeepsBytes();
    void framerLiteralInPieces_data();
    void framerLiteralInPieces();
    void framerRefusesHugeLiteral();
    void framerRefusesEndlessLine();
    void mailboxNames_data();
    void mailboxNames();
    void invalidMailboxNames_data();
    void invalidMailboxNames();
};

void TestImapParser::responses_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("tag");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("number");
    QTest::addColumn<QByteArray>("name");

    QTest::newRow("greeting with capabilities")
        << QByteArray("* OK [CAPABILITY IMAP4rev1 LITERAL+ ID] Dovecot ready.") << int(Kind::Untagged) << QByteArray()
        << int(Status::Ok) << QByteArray("CAPABILITY") << QByteArray("Dovecot ready.") << qint64(-1) << QByteArray();
    QTest::newRow("tagged-ok-read-only")
        << QByteArray("A003 OK [READ-ONLY] Examine completed (0.001 + 0.000 secs).") << int(Kind::Tagged)
        << QByteArray("A003") << int(Status::Ok) << QByteArray("READ-ONLY")
        << QByteArray("Examine completed (0.001 + 0.000 secs).") << qint64(-1) << QByteArray();
    QTest::newRow("tagged-no-authenticationfailed")
        << QByteArray("A002 NO [AUTHENTICATIONFAILED] Authentication failed.") << int(Kind::Tagged)
        << QByteArray("A002") << int(Status::No) << QByteArray("AUTHENTICATIONFAILED")
        << QByteArray("Authentication failed.") << qint64(-1) << QByteArray();
    QTest::newRow("tagged-bad-lower-case")
        << QByteArray("a9 bad Error in IMAP command") << int(Kind::Tagged) << QByteArray("a9") << int(Status::Bad)
        << QByteArray() << QByteArray("Error in IMAP command") << qint64(-1) << QByteArray();
    QTest::newRow("tagged-ok-without-text") << QByteArray("A1 OK") << int(Kind::Tagged) << QByteArray("A1")
                                            << int(Status::Ok) << QByteArray() << QByteArray() << qint64(-1)
                                            << QByteArray();
    QTest::newRow("untagged-bye") << QByteArray("* BYE Logging out") << int(Kind::Untagged) << QByteArray()
                                  << int(Status::Bye) << QByteArray() << QByteArray("Logging out") << qint64(-1)
                                  << QByteArray();
    QTest::newRow("preauth") << QByteArray("* PREAUTH welcome") << int(Kind::Untagged) << QByteArray()
                             << int(Status::Preauth) << QByteArray() << QByteArray("welcome") << qint64(-1)
                             << QByteArray();
    QTest::newRow("exists") << QByteArray("* 2000 EXISTS") << int(Kind::Untagged) << QByteArray()
                            << int(Status::None) << QByteArray() << QByteArray() << qint64(2000)
                            << QByteArray("EXISTS");
    QTest::newRow("capability data kept as text")
        << QByteArray("* CAPABILITY IMAP4rev1 AUTH=PLAIN") << int(Kind::Untagged) << QByteArray()
        << int(Status::None) << QByteArray() << QByteArray("IMAP4rev1 AUTH=PLAIN") << qint64(-1)
        << QByteArray("CAPABILITY");
    QTest::newRow("continuation") << QByteArray("+ Ready for literal data") << int(Kind::Continuation)
                                  << QByteArray() << int(Status::None) << QByteArray()
                                  << QByteArray("Ready for literal data") << qint64(-1) << QByteArray();
    QTest::newRow("bare continuation") << QByteArray("+") << int(Kind::Continuation) << QByteArray()
                                       << int(Status::None) << QByteArray() << QByteArray() << qint64(-1)
                                       << QByteArray();
}

void TestImapParser::responses()
{
    QFETCH(QByteArray, line);
    const ImapResponse r = ImapParser::parseResponse(line);
    QTEST(int(r.kind), "kind");
    QTEST(r.tag, "tag");
    QTEST(int(r.status), "status");
    QTEST(r.code, "code");
    QTEST(r.text, "text");
    QTEST(r.number, "number");
    QTEST(r.name, "name");
}

void TestImapParser::malformed_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("offset");
    QTest::newRow("garbage instead of a response") << QByteArray("HTTP/1.1 400 Bad Request") << 9;
    QTest::newRow("tagged without status") << QByteArray("A1 EXISTS") << 3;
    QTest::newRow("tag only") << QByteArray("A1") << 2;
    QTest::newRow("empty line") << QByteArray() << 0;
    QTest::newRow("unterminated code") << QByteArray("A1 OK [READ-ONLY done") << 6;
    QTest::newRow("unterminated quoted name") << QByteArray("* LIST () \"/\" \"Inbox") << 14;
    QTest::newRow("bad escape in quoted") << QByteArray("* LIST () \"/\" \"a\\b\"") << 17;
    QTest::newRow("unterminated list") << QByteArray("* LIST (\\HasNoChildren \"/\" INBOX") << 32;
    QTest::newRow("literal longer than the response") << QByteArray("* LIST () \"/\" {10}\r\nabc") << 14;
    QTest::newRow("literal without CRLF") << QByteArray("* LIST () \"/\" {3}abc") << 17;
    QTest::newRow("number overflow") << QByteArray("* 99999999999999999999 EXISTS") << 2;
    QTest::newRow("nesting bomb") << (QByteArray("* 1 FETCH ") + QByteArray(40, '(') + QByteArray(40, ')')) << 42;
}

void TestImapParser::malformed()
{
    QFETCH(QByteArray, line);
    try {
        ImapParser::parseResponse(line);
        QFAIL("accepted a malformed response");
    } catch (const ImapParseError &error) {
        QCOMPARE(error.line(), line);
        QTEST(error.offset(), "offset");
    }
}

void TestImapParser::values_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("items");
    QTest::addColumn<int>("endPos");
    QTest::newRow("atom stops at space") << QByteArray("INBOX rest") << int(ImapValue::Kind::Atom)
                                         << QByteArray("INBOX") << 0 << 5;
    QTest::newRow("atom with brackets") << QByteArray("[Gmail]/Drafts)") << int(ImapValue::Kind::Atom)
                                        << QByteArray("[Gmail]/Drafts") << 0 << 14;
    QTest::newRow("section with spaces") << QByteArray("BODY[HEADER.FIELDS (FROM)] x")
                                         << int(ImapValue::Kind::Atom) << QByteArray("BODY[HEADER.FIELDS (FROM)]")
                                         << 0 << 26;
    QTest::newRow("quoted with escapes") << QByteArray("\"Say \\\"Hi\\\" \\\\o/\" x")
                                         << int(ImapValue::Kind::String) << QByteArray("Say \"Hi\" \\o/") << 0
                                         << 17;
    QTest::newRow("empty quoted") << QByteArray("\"\"") << int(ImapValue::Kind::String) << QByteArray() << 0 << 2;
    QTest::newRow("literal") << QByteArray("{5}\r\na)b\"c rest") << int(ImapValue::Kind::String)
                             << QByteArray("a)b\"c") << 0 << 10;
    QTest::newRow("non-synchronising literal") << QByteArray("{2+}\r\nhi") << int(ImapValue::Kind::String)
                                               << QByteArray("hi") << 0 << 8;
    QTest::newRow("nil") << QByteArray("NIL)") << int(ImapValue::Kind::Nil) << QByteArray() << 0 << 3;
    QTest::newRow("list of three") << QByteArray("(\\Seen NIL \"x\") y") << int(ImapValue::Kind::List)
                                   << QByteArray() << 3 << 15;
    QTest::newRow("empty list") << QByteArray("()") << int(ImapValue::Kind::List) << QByteArray() << 0 << 2;
}

void TestImapParser::values()
{
    QFETCH(QByteArray, input);
    int pos = 0;
    const ImapValue value = ImapParser::readValue(input, pos);
    QTEST(int(value.kind), "kind");
    QTEST(value.text, "text");
    QTEST(int(value.items.size()), "items");
    QTEST(pos, "endPos");
}

void TestImapParser::listNames_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("atom") << QByteArray("* LIST (\\HasNoChildren \\Drafts) \"/\" [Gmail]/Drafts")
                          << QByteArray("[Gmail]/Drafts");
    QTest::newRow("quoted") << QByteArray("* LIST (\\HasNoChildren \\All) \"/\" \"[Gmail]/All Mail\"")
                            << QByteArray("[Gmail]/All Mail");
    QTest::newRow("literal") << QByteArray("* LIST () \"/\" {9}\r\nWork/Pro)") << QByteArray("Work/Pro)");
    QTest::newRow("nil delimiter") << QByteArray("* LIST (\\Noselect) NIL Top") << QByteArray("Top");
}

void TestImapParser::listNames()
{
    QFETCH(QByteArray, line);
    const ImapResponse r = ImapParser::parseResponse(line);
    QCOMPARE(r.name, QByteArray("LIST"));
    QCOMPARE(r.values.size(), 3);
    QVERIFY(r.values.at(0).isList());
    QTEST(r.values.at(2).text, "name");
}

void TestImapParser::fetchLiteralKeepsBytes()
{
    const QByteArray message = "From: a@b\r\n\r\nbody ) with \"odd\" bytes {3}\r\n\0end";
    const QByteArray line = "* 7 FETCH (FLAGS (\\Seen) BODY[] {" + QByteArray::number(message.size()) + "}\r\n"
        + message + ")";
    const ImapResponse r = ImapParser::parseResponse(line);
    QCOMPARE(r.number, qint64(7));
    QCOMPARE(r.name, QByteArray("FETCH"));
    const QList<ImapValue> items = r.values.at(0).items;
    QCOMPARE(items.size(), 4);
    QCOMPARE(items.at(2).text, QByteArray("BODY[]"));
    QCOMPARE(items.at(3).text, message);
}

void TestImapParser::framerLiteralInPieces_data()
{
    QTest::addColumn<int>("pieceSize");
    QTest::newRow("one byte at a time") << 1;
    QTest::newRow("seven bytes") << 7;
    QTest::newRow("large pieces") << 65536;
}

void TestImapParser::framerLiteralInPieces()
{
    QFETCH(int, pieceSize);
    QByteArray body;
    for (int i = 0; i < 20000; ++i)
        body.append(char('a' + i % 26)).append(i % 100 == 0 ? "\r\n" : "");
    const QByteArray stream = "* 1 FETCH (BODY[] {" + QByteArray::number(body.size()) + "}\r\n" + body
        + ")\r\nA1 OK done\r\n* 3 EXISTS\r\n";
    ImapFramer framer;
    QList<QByteArray> responses;
    int maxPercentSeen = 0;
    for (int i = 0; i < stream.size(); i += pieceSize) {
        QVERIFY(framer.feed(stream.mid(i, pieceSize)));
        if (framer.literalSize() > 0) {
            QCOMPARE(framer.literalSize(), qint64(body.size()));
            QVERIFY(framer.literalReceived() <= framer.literalSize());
            maxPercentSeen = qMax<int>(maxPercentSeen, int(framer.literalReceived() * 100 / framer.literalSize()));
        }
        while (framer.hasResponse())
            responses.append(framer.takeResponse());
    }
    QCOMPARE(responses.size(), 3);
    QCOMPARE(responses.at(0), "* 1 FETCH (BODY[] {" + QByteArray::number(body.size()) + "}\r\n" + body + ")");
    QCOMPARE(responses.at(1), QByteArray("A1 OK done"));
    QCOMPARE(responses.at(2), QByteArray("* 3 EXISTS"));
    QVERIFY(!framer.midResponse());
    if (pieceSize < body.size())
        QVERIFY(maxPercentSeen > 50);
}

void TestImapParser::framerRefusesHugeLiteral()
{
    ImapFramer atLimit(1000);
    QVERIFY(atLimit.feed("* 1 FETCH (BODY[] {1000}\r\n"));
    ImapFramer framer(1000);
    QVERIFY(!framer.feed("* 2 FETCH (BODY[] {1001}\r\n"));
    QVERIFY(framer.errorText().contains("1001"));
    QVERIFY(!framer.hasResponse());
    ImapFramer unbounded;
    QVERIFY(!unbounded.feed("* 1 FETCH (BODY[] {99999999999999999999999}\r\n"));
}

void TestImapParser::framerRefusesEndlessLine()
{
    ImapFramer framer(1000, 100);
    QVERIFY(framer.feed(QByteArray(100, 'x')));
    QVERIFY(!framer.feed(QByteArray(10, 'x')));
    QVERIFY(framer.failed());
}

void TestImapParser::mailboxNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("encoded");
    QTest::newRow("ascii") << QStringLiteral("[Gmail]/All Mail") << QByteArray("[Gmail]/All Mail");
    QTest::newRow("ampersand") << QStringLiteral("Tom & Jerry") << QByteArray("Tom &- Jerry");
    QTest::newRow("accented") << QStringLiteral("Reçus") << QByteArray("Re&AOc-us");
    QTest::newRow("rfc example") << QStringLiteral("~peter/mail/台北/日本語")
                                 << QByteArray("~peter/mail/&U,BTFw-/&ZeVnLIqe-");
    QTest::newRow("emoji surrogate pair") << QStringLiteral("Fun 😀") << QByteArray("Fun &2D3eAA-");
    QTest::newRow("empty") << QString() << QByteArray();
}

void TestImapParser::mailboxNames()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, encoded);
    QCOMPARE(encodeMailboxName(name), encoded);
    bool ok = false;
    QCOMPARE(decodeMailboxName(encoded, &ok), name);
    QVERIFY(ok);
}

void TestImapParser::invalidMailboxNames_data()
{
    QTest::addColumn<QByteArray>("encoded");
    QTest::newRow("unterminated shift") << QByteArray("Re&AOc");
    QTest::newRow("bad base64 letter") << QByteArray("Re&A*c-us");
    QTest::newRow("odd byte count") << QByteArray("&AO-");
    QTest::newRow("non-zero padding bits") << QByteArray("&AOd-");
    QTest::newRow("encoded plain ascii") << QByteArray("&AGE-");
    QTest::newRow("lone high surrogate") << QByteArray("&2D0-");
    QTest::newRow("lone low surrogate") << QByteArray("&3gA-");
    QTest::newRow("8-bit bytes") << QByteArray("Re\xc3\xa7us");
    QTest::newRow("control character") << QByteArray("a\tb");
}

void TestImapParser::invalidMailboxNames()
{
    QFETCH(QByteArray, encoded);
    bool ok = true;
    const QString decoded = decodeMailboxName(encoded, &ok);
    QVERIFY(!ok);
    QCOMPARE(decoded, QString::fromUtf8(encoded));
}

QTEST_GUILESS_MAIN(TestImapParser)
#include "tst_imapparser.moc"
