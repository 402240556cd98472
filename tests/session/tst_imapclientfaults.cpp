// The client against a scripted server: exact bytes on the wire, and every
// fault a real server cannot be made to show ends as a failure, never a hang.
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include "session/tlsimapclient.h"
#include "tests/support/fakeimapserver.h"

namespace {

const QByteArray Greeting = "* OK [CAPABILITY IMAP4rev1 ID] ready\r\n";
const QByteArray GreetingLiteralPlus = "* OK [CAPABILITY IMAP4rev1 LITERAL+ ID] ready\r\n";

// Records the callbacks and asks for an abort once `abortAfterMs` has passed.
class Receiver : public ImapEvents
{
public:
    void abortCheck(qint32 &abort) override
    {
        const qint64 now = clock.elapsed();
        if (lastCheck >= 0)
            longestGap = qMax(longestGap, now - lastCheck);
        lastCheck = now;
        if (abortAfterMs >= 0 && now >= abortAfterMs) {
            if (abortedAt < 0)
                abortedAt = now;
            abort = 1;
        }
    }
    void percentDone(qint32 percent) override { percents.append(percent); }

    void start(qint64 abortAfter = -1)
    {
        clock.start();
        abortAfterMs = abortAfter;
        abortedAt = -1;
        lastCheck = -1;
        longestGap = 0;
        percents.clear();
    }

    QElapsedTimer clock;
    qint64 abortAfterMs = -1;
    qint64 abortedAt = -1;
    qint64 lastCheck = -1;
    qint64 longestGap = 0;
    QList<int> percents;
};

QByteArray fetchReply(int number, const QByteArray &message)
{
    return "* " + QByteArray::number(number) + " FETCH (BODY[] {" + QByteArray::number(message.size()) + "}\r\n"
        + message + ")\r\n";
}

} // namespace

class TestImapClientFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void wholeSessionSendsExactBytes();
    void synchronisingLiteralWaitsForContinuation();
    void refusedLoginKeepsServerTextNotPassword();
    void faultsEndInFailure_data();
    void faultsEndInFailure();
    void abortEndsSilentFetchQuickly();
    void abandonedFetchIsDrainedAndConnectionStaysUsable();
    void progressOfAGrowingLiteral();
    void timeoutEndsSilentServer();
    void failureInsideTheWindowSkipsOnlyThatMessage_data();
    void failureInsideTheWindowSkipsOnlyThatMessage();
    void stopDropsWhatCameAheadAndSendsNoMore();
    void dropFailsTheWholeWindowAtOnce();

private:
    std::unique_ptr<TlsImapClient> newClient(int responseTimeoutMs = 30000, int window = 1, int batch = 1);
    bool connectAndSelect(TlsImapClient &client, FakeImapServer &server, int exists);

    std::unique_ptr<FakeImapServer> m_server;
    Receiver m_receiver;
};

void TestImapClientFaults::init()
{
    m_server = std::make_unique<FakeImapServer>();
    m_receiver.start();
}

void TestImapClientFaults::cleanup()
{
    m_server.reset();
}

std::unique_ptr<TlsImapClient> TestImapClientFaults::newClient(int responseTimeoutMs, int window, int batch)
{
    ImapClientOptions options;
    options.responseTimeoutMs = responseTimeoutMs;
    options.fetchWindow = window;
    options.fetchBatch = batch;
    options.connectTimeoutMs = 5000;
    auto client = std::make_unique<TlsImapClient>(options);
    client->setSsl(false);
    client->setPort(m_server->port());
    client->setEventReceiver(&m_receiver);
    return client;
}

// Scripts greeting and EXAMINE; the caller appends the rest.
bool TestImapClientFaults::connectAndSelect(TlsImapClient &client, FakeImapServer &server, int exists)
{
    server.send(Greeting)
        .expect("A001 EXAMINE \"INBOX\"\r\n")
        .send("* " + QByteArray::number(exists) + " EXISTS\r\nA001 OK [READ-ONLY] done\r\n");
    return client.connectToServer(QStringLiteral("127.0.0.1")) == 1 && client.selectMailbox("INBOX") == 1;
}

void TestImapClientFaults::wholeSessionSendsExactBytes()
{
    const QByteArray message = "From: Ann <ann@example.com>\r\nSubject: hi\r\n\r\nBody {5}\r\n)\r\n";
    m_server->send(GreetingLiteralPlus)
        .expect("A001 ID (\"GUID\" \"1\")\r\n")
        .send("* ID (\"name\" \"Fake\")\r\nA001 OK ID done\r\n")
        .expect("A002 LOGIN \"us\\\"er\" \"p\\\\\\\"w\"\r\n")
        .send("A002 NO [AUTHENTICATIONFAILED] no\r\n")
        .expect("A003 LOGIN \"user\" {7+}\r\np\xc3\xa4sswd\r\n")
        .send("A003 OK [CAPABILITY IMAP4rev1 LITERAL+] Logged in\r\n")
        .expect("A004 EXAMINE \"Re&AOc-us\"\r\n")
        .send("* FLAGS (\\Seen)\r\n* 2 EXISTS\r\n* 0 RECENT\r\nA004 OK [READ-ONLY] Examine completed\r\n")
        .expect("A005 FETCH 2 BODY.PEEK[]\r\n")
        .send(fetchReply(2, message) + "A005 OK Fetch completed\r\n")
        .expect("A006 LIST \"\" \"*\"\r\n")
        .send("* LIST (\\HasNoChildren) \"/\" INBOX\r\n"
              "* LIST (\\HasNoChildren \\All) \"/\" \"[Gmail]/All Mail\"\r\n"
              "* LIST (\\HasNoChildren) \"/\" {13}\r\nWork/Projects\r\n"
              "* LIST (\\HasNoChildren) \"/\" Re&AOc-us\r\n"
              "* LIST (\\HasNoChildren) \"/\" \"Say \\\"Hi\\\"\"\r\n"
              "A006 OK List completed\r\n")
        .expect("A007 LOGOUT\r\n")
        .send("* BYE bye\r\nA007 OK Logout completed\r\n")
        .close();
    auto client = newClient();
    QCOMPARE(client->connectToServer("127.0.0.1"), 1);
    QCOMPARE(client->rawCommand("ID (\"GUID\" \"1\")"),
             QStringLiteral("* ID (\"name\" \"Fake\")\r\nA001 OK ID done"));
    QVERIFY(client->login("us\"er", "p\\\"w") != 1);
    QCOMPARE(client->login("user", QString::fromUtf8("p\xc3\xa4sswd")), 1);
    QCOMPARE(client->selectMailbox(QString::fromUtf8("Reçus")), 1);
    QCOMPARE(client->messageCount(), 2);
    QVERIFY(client->fetchMessage(3, false) == nullptr); // beyond EXISTS: not even asked
    QVERIFY(client->fetchMessage(0, false) == nullptr);
    QVERIFY(client->fetchMessage(2, false) != nullptr);
    QCOMPARE(m_receiver.percents.value(m_receiver.percents.size() - 1), 100);
    const auto list = client->listMailboxes(QString(), "*");
    QVERIFY(list);
    QCOMPARE(list->names, QStringList({"INBOX", "[Gmail]/All Mail", "Work/Projects", QString::fromUtf8("Reçus"),
                                       "Say \"Hi\""}));
    client->disconnectFromServer();
    QVERIFY2(m_server->scriptDone(), qPrintable(m_server->problem()));
    QVERIFY(client->fetchMessage(1, false) == nullptr);
}

void TestImapClientFaults::synchronisingLiteralWaitsForContinuation()
{
    m_server->send(Greeting)
        .expect("A001 LOGIN \"user\" {6}\r\n")
        .send("+ go ahead\r\n")
        .expect("p\r\nass\r\n")
        .send("A001 OK Logged in\r\n");
    auto client = newClient();
    QCOMPARE(client->connectToServer("127.0.0.1"), 1);
    QCOMPARE(client->login("user", "p\r\nass"), 1);
    QVERIFY2(m_server->scriptDone(), qPrintable(m_server->problem()));
}

void TestImapClientFaults::refusedLoginKeepsServerTextNotPassword()
{
    m_server->send(Greeting)
        .expect("A001 LOGIN \"someone\" \"Secret-42\"\r\n")
        .send("A001 NO [AUTHENTICATIONFAILED] Authentication failed. (Secret-42)\r\n");
    auto client = newClient();
    QCOMPARE(client->connectToServer("127.0.0.1"), 1);
    QVERIFY(client->login("someone", "Secret-42") != 1);
    const QString error = client->lastErrorText();
    QVERIFY2(error.contains("Authentication failed."), qPrintable(error));
    QVERIFY2(error.contains("AUTHENTICATIONFAILED"), qPrintable(error));
    QVERIFY2(error.contains("LOGIN"), qPrintable(error));
    QVERIFY2(!error.contains("Secret-42"), qPrintable(error));
}

void TestImapClientFaults::faultsEndInFailure_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("closeAfter");
    QTest::addColumn<QString>("errorPart");
    QTest::newRow("ID answered by a closed connection") << "id" << QByteArray() << true << "closed";
    QTest::newRow("garbage instead of a greeting") << "connect" << QByteArray() << false << "unreadable";
    QTest::newRow("greeting that says BYE") << "connect" << QByteArray() << false << "BYE";
    QTest::newRow("connection drop mid-literal")
        << "fetch" << QByteArray("* 1 FETCH (BODY[] {1000}\r\nFrom: half a mess") << true << "closed";
    QTest::newRow("huge announced literal") << "fetch" << QByteArray("* 1 FETCH (BODY[] {99999999999}\r\n")
                                            << false << "99999999999";
    QTest::newRow("answer to a tag never sent") << "fetch" << QByteArray("Z999 OK what?\r\n") << false
                                                << "never sent";
    QTest::newRow("unexpected continuation") << "fetch" << QByteArray("+ more please\r\n") << false << "asked for";
    QTest::newRow("unreadable response") << "fetch" << QByteArray("* LIST (\"unterminated\r\n") << false
                                         << "unreadable";
    QTest::newRow("fetch refused") << "fetch" << QByteArray("A002 NO [UNAVAILABLE] gone\r\n") << false << "gone";
    QTest::newRow("fetch without a body") << "fetch"
                                          << QByteArray("* 1 FETCH (FLAGS (\\Seen))\r\nA002 OK done\r\n")
                                          << false << "no message text";
}

void TestImapClientFaults::faultsEndInFailure()
{
    QFETCH(QString, step);
    QFETCH(QByteArray, reply);
    QFETCH(bool, closeAfter);
    QFETCH(QString, errorPart);
    auto client = newClient();
    QString error;
    if (step == "connect") {
        m_server->send(QByteArray(QTest::currentDataTag()).contains("BYE") ? "* BYE go away\r\n"
                                                                           : "HTTP/1.0 400 Bad Request\r\n\r\n");
        QVERIFY(client->connectToServer("127.0.0.1") != 1);
    } else if (step == "id") {
        m_server->send(Greeting).expect("A001 ID (\"GUID\" \"1\")\r\n").close();
        QCOMPARE(client->connectToServer("127.0.0.1"), 1);
        QCOMPARE(client->rawCommand("ID (\"GUID\" \"1\")"), QString());
    } else {
        QVERIFY(connectAndSelect(*client, *m_server, 1));
        m_server->expect("A002 FETCH 1 BODY.PEEK[]\r\n").send(reply);
        if (closeAfter)
            m_server->close();
        QVERIFY(client->fetchMessage(1, false) == nullptr);
    }
    QVERIFY2(client->lastErrorText().contains(errorPart), qPrintable(client->lastErrorText()));
    QVERIFY2(m_server->scriptDone(), qPrintable(m_server->problem()));
}

void TestImapClientFaults::abortEndsSilentFetchQuickly()
{
    auto client = newClient();
    QVERIFY(connectAndSelect(*client, *m_server, 1));
    m_server->expect("A002 FETCH 1 BODY.PEEK[]\r\n");
    m_receiver.start(300);
    QVERIFY(client->fetchMessage(1, false) == nullptr);
    const qint64 ended = m_receiver.clock.elapsed();
    QVERIFY(m_receiver.abortedAt >= 300);
    QVERIFY2(ended - m_receiver.abortedAt < 200, qPrintable(QString::number(ended - m_receiver.abortedAt)));
    QVERIFY2(m_receiver.longestGap <= 100, qPrintable(QString::number(m_receiver.longestGap)));
    QVERIFY(client->lastErrorText().contains("stopped"));
    QVERIFY2(m_server->scriptDone(), qPrintable(m_server->problem()));
}

void TestImapClientFaults::abandonedFetchIsDrainedAndConnectionStaysUsable()
{
    auto client = newClient();
    QVERIFY(connectAndSelect(*client, *m_server, 2));
    m_server->expect("A002 FETCH 1 BODY.PEEK[]\r\n")
        .expect("A003 FETCH 2 BODY.PEEK[]\r\n")
        .send(fetchReply(1, "Subject: one\r\n\r\n1\r\n") + "A002 OK done\r\n")
        .send(fetchReply(2, "Subject: two\r\n\r\n2\r\n") + "A003 OK done\r\n");
    m_receiver.start(0);
    QVERIFY(client->fetchMessage(1, false) == nullptr);
    m_receiver.start();
    QVERIFY(client->fetchMessage(2, false) != nullptr);
    QVERIFY2(client->lastErrorText().startsWith("FETCH 2"), qPrintable(client->lastErrorText()));
    QVERIFY2(m_server->scriptDone(), qPrintable(m_server->problem()));
}

void TestImapClientFaults::progressOfAGrowingLiteral()
{
    const QByteArray message = "Subject: big\r\n\r\n" + QByteArray(40000, 'x');
    const QByteArray reply = fetchReply(1, message);
    auto client = newClient();
    QVERIFY(connectAndSelect(*client, *m_server, 1));
    m_server->expect("A002 FETCH 1 BODY.PEEK[]\r\n")
        .send(reply.left(reply.size() / 2))
        .pause(300)
        .send(reply.mid(reply.size() / 2) + "A002 OK done\r\n");
    QVERIFY(client->fetchMessage(1, false) != nullptr);
    QVERIFY(!m_receiver.percents.isEmpty());
    QCOMPARE(m_receiver.percents.last(), 100);
    const bool sawMiddle = std::any_of(m_receiver.percents.cbegin(), m_receiver.percents.cend(),
                                       [](int p) { return p > 0 && p < 100; });
    QVERIFY2(sawMiddle, "no progress reported while the literal was half read");
    QVERIFY(std::is_sorted(m_receiver.percents.cbegin(), m_receiver.percents.cend()));
}

void TestImapClientFaults::timeoutEndsSilentServer()
{
    auto client = newClient(300);
    QVERIFY(connectAndSelect(*client, *m_server, 1));
    m_server->expect("A002 FETCH 1 BODY.PEEK[]\r\n").send("* 1 FETCH (BODY[] {100}\r\nabc");
    QElapsedTimer clock;
    clock.start();
    QVERIFY(client->fetchMessage(1, false) == nullptr);
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(client->lastErrorText().contains("no answer"), qPrintable(client->lastErrorText()));
    QCOMPARE(client->messageCount(), 0);
}

namespace {

QByteArray numbered(int number)
{
    return "Subject: message " + QByteArray::number(number) + "\r\n\r\nText " + QByteArray::number(number) + "\r\n";
}

} // namespace

void TestImapClientFaults::failureInsideTheWindowSkipsOnlyThatMessage_data()
{
    QTest::addColumn<int>("window");
    QTest::addColumn<int>("batch");
    QTest::addColumn<QList<QByteArray>>("script"); // alternately what the client sends and the answer
    QTest::addColumn<int>("failed");
    QTest::addColumn<QString>("errorPart");
    QTest::newRow("one message per command, NO for the second")
        << 3 << 1
        << QList<QByteArray>{"A002 FETCH 1 BODY.PEEK[]\r\nA003 FETCH 2 BODY.PEEK[]\r\nA004 FETCH 3 BODY.PEEK[]\r\n",
                             fetchReply(1, numbered(1)) + "A002 OK done\r\nA003 NO [UNAVAILABLE] gone\r\n"
                                 + fetchReply(3, numbered(3)) + "A004 OK done\r\n",
                             "A005 FETCH 4 BODY.PEEK[]\r\n", fetchReply(4, numbered(4)) + "A005 OK done\r\n"}
        << 2 << "NO [UNAVAILABLE] gone";
    QTest::newRow("a range whose answer lacks one message")
        << 2 << 4
        << QList<QByteArray>{"A002 FETCH 1 BODY.PEEK[]\r\nA003 FETCH 2:3 BODY.PEEK[]\r\n",
                             fetchReply(1, numbered(1)) + "A002 OK done\r\n" + fetchReply(2, numbered(2))
                                 + "A003 OK done\r\n",
                             "A004 FETCH 4:5 BODY.PEEK[]\r\n",
                             fetchReply(4, numbered(4)) + fetchReply(5, numbered(5)) + "A004 OK done\r\n",
                             "A005 FETCH 3 BODY.PEEK[]\r\n", "A005 NO [UNAVAILABLE] gone\r\n"}
        << 3 << "gone";
    QTest::newRow("a range refused after some of its messages")
        << 2 << 4
        << QList<QByteArray>{"A002 FETCH 1 BODY.PEEK[]\r\nA003 FETCH 2:3 BODY.PEEK[]\r\n",
                             fetchReply(1, numbered(1)) + "A002 OK done\r\n" + fetchReply(3, numbered(3))
                                 + "A003 NO some messages could not be fetched\r\n",
                             "A004 FETCH 4:5 BODY.PEEK[]\r\n",
                             fetchReply(4, numbered(4)) + fetchReply(5, numbered(5)) + "A004 OK done\r\n",
                             "A005 FETCH 2 BODY.PEEK[]\r\n", "* 2 FETCH (FLAGS ())\r\nA005 OK done\r\n"}
        << 2 << "no message text";
}

// A failure for one position of a window fails that position only; the
// messages on both sides of it come in order.
void TestImapClientFaults::failureInsideTheWindowSkipsOnlyThatMessage()
{
    QFETCH(int, window);
    QFETCH(int, batch);
    QFETCH(QList<QByteArray>, script);
    QFETCH(int, failed);
    QFETCH(QString, errorPart);
    const int total = batch == 1 ? 4 : 5;
    auto client = newClient(30000, window, batch);
    QVERIFY(connectAndSelect(*client, *m_server, total));
    for (int i = 0; i + 1 < script.size(); i += 2)
        m_server->expect(script[i]).send(script[i + 1]);
    client->expectFetches(1, total);
    for (int n = 1; n <= total; ++n) {
        const auto email = client->fetchMessage(n, false);
        if (n == failed) {
            QVERIFY2(!email, qPrintable(QString::number(n)));
            QVERIFY2(client->lastErrorText().contains(errorPart), qPrintable(client->lastErrorText()));
            QVERIFY2(client->lastErrorText().contains(QStringLiteral("FETCH %1").arg(n)),
                     qPrintable(client->lastErrorText()));
        } else {
            QVERIFY2(email, qPrintable(client->lastErrorText()));
            QCOMPARE(email->subject, QStringLiteral("message %1").arg(n));
        }
    }
    QVERIFY2(m_server->scriptDone(), qPrintable(m_server->problem()));
}

// Stop drops what was fetched ahead, asks for nothing more of the sequence,
// and the next command's answer is not mixed with the dropped ones.
void TestImapClientFaults::stopDropsWhatCameAheadAndSendsNoMore()
{
    auto client = newClient(30000, 2, 1);
    QVERIFY(connectAndSelect(*client, *m_server, 4));
    m_server->expect("A002 FETCH 1 BODY.PEEK[]\r\nA003 FETCH 2 BODY.PEEK[]\r\n")
        .send(fetchReply(1, numbered(1)) + "A002 OK done\r\n")
        .expect("A004 FETCH 3 BODY.PEEK[]\r\n")
        .expect("A005 NOOP\r\n")
        .send(fetchReply(2, numbered(2)) + "A003 OK done\r\n" + fetchReply(3, numbered(3)) + "A004 OK done\r\n"
              + "* 4 EXISTS\r\nA005 OK noop done\r\n");
    client->expectFetches(1, 4);
    QVERIFY(client->fetchMessage(1, false));
    m_receiver.start(0);
    for (int n = 2; n <= 4; ++n) {
        QVERIFY(client->fetchMessage(n, false) == nullptr);
        QVERIFY2(client->lastErrorText().contains("stopped"), qPrintable(client->lastErrorText()));
    }
    m_receiver.start();
    QCOMPARE(client->rawCommand("NOOP"), QStringLiteral("* 4 EXISTS\r\nA005 OK noop done"));
    QVERIFY2(m_server->scriptDone(), qPrintable(m_server->problem()));
}

void TestImapClientFaults::dropFailsTheWholeWindowAtOnce()
{
    auto client = newClient(30000, 3, 1);
    QVERIFY(connectAndSelect(*client, *m_server, 3));
    m_server->expect("A002 FETCH 1 BODY.PEEK[]\r\nA003 FETCH 2 BODY.PEEK[]\r\nA004 FETCH 3 BODY.PEEK[]\r\n")
        .send(fetchReply(1, numbered(1)) + "A002 OK done\r\n* 2 FETCH (BODY[] {50}\r\nSubject: half")
        .close();
    client->expectFetches(1, 3);
    QVERIFY(client->fetchMessage(1, false));
    QElapsedTimer clock;
    clock.start();
    for (int n = 2; n <= 3; ++n) {
        QVERIFY(client->fetchMessage(n, false) == nullptr);
        QVERIFY2(client->lastErrorText().contains("closed"), qPrintable(client->lastErrorText()));
    }
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(m_server->scriptDone(), qPrintable(m_server->problem()));
}

QTEST_GUILESS_MAIN(TestImapClientFaults)
#include "tst_imapclientfaults.moc"
