// The client against the real Dovecot: logins, TLS checks, listing, counting,
// fetching read-only, and stopping a fetch.
#include <QElapsedTimer>
#include <QFile>
#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include "session/imapclient.h"
#include "tests/support/testserver.h"

namespace {

const QString AllMail = QStringLiteral("[Gmail]/All Mail");

class AbortingReceiver : public ImapEvents
{
public:
    void abortCheck(qint32 &abort) override
    {
        if (abortNow && abortedAt < 0)
            abortedAt = clock.elapsed();
        abort = abortNow ? 1 : 0;
    }
    void percentDone(qint32) override {}

    bool abortNow = false;
    QElapsedTimer clock;
    qint64 abortedAt = -1;
};

QJsonObject corpus()
{
    QFile file(TestServer::instance().expectedFieldsFile());
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

// The subject of the message at `position` of `folder`, from the corpus.
QString expectedSubject(const QString &folder, int position)
{
    const QJsonArray messages = corpus().value(QStringLiteral("messages")).toArray();
    for (const QJsonValue &message : messages) {
        if (message[QStringLiteral("positions")][folder].toInt() == position)
            return message[QStringLiteral("subject")].toString();
    }
    return QStringLiteral("(no such message in the corpus)");
}

// A name that reaches the server but is not in its certificate, or "".
QString hostAliasNotInCertificate()
{
    for (const QString &name : {QHostInfo::localHostName(), QStringLiteral("2130706433")}) {
        const QHostInfo info = QHostInfo::fromName(name);
        for (const QHostAddress &address : info.addresses()) {
            if (address == QHostAddress(QStringLiteral("127.0.0.1")) && name != QLatin1String("localhost"))
                return name;
        }
    }
    return QString();
}

} // namespace

class TestImapClientDovecot : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void connectIdentifyAndLogIn_data();
    void connectIdentifyAndLogIn();
    void wrongPasswordReportsServerTextOnly();
    void certificateRefused_data();
    void certificateRefused();
    void listsNamesInServerOrder();
    void countsAndFetchesAllMail();
    void fetchingLeavesSeenFlagsAlone();
    void abortDuringFetchKeepsConnectionUsable();
    void leavingTheExpectedOrderDropsWhatCameAhead();

private:
    std::unique_ptr<ImapClient> loggedInClient();
};

void TestImapClientDovecot::initTestCase()
{
    TestServer &server = TestServer::instance();
    QVERIFY2(server.isRunning(), qPrintable(server.startError()));
}

std::unique_ptr<ImapClient> TestImapClientDovecot::loggedInClient()
{
    TestServer &server = TestServer::instance();
    ImapClientOptions options;
    options.extraCaFile = server.caFile();
    auto client = createImapClient(options);
    client->setSsl(true);
    client->setPort(server.port());
    if (client->connectToServer(server.host()) != 1 || client->login(server.user(), server.password()) != 1)
        return nullptr;
    return client;
}

void TestImapClientDovecot::connectIdentifyAndLogIn_data()
{
    QTest::addColumn<bool>("other");
    QTest::newRow("seeded account") << false;
    QTest::newRow("non-ascii password with space and quotes") << true;
}

void TestImapClientDovecot::connectIdentifyAndLogIn()
{
    QFETCH(bool, other);
    TestServer &server = TestServer::instance();
    ImapClientOptions options;
    options.extraCaFile = server.caFile();
    auto client = createImapClient(options);
    client->setSsl(true);
    client->setPort(server.port());
    QCOMPARE(client->connectToServer(server.host()), 1);
    const QString id = client->rawCommand(QStringLiteral("ID (\"GUID\" \"1\")"));
    QVERIFY2(id.startsWith("* ID ("), qPrintable(id));
    QVERIFY2(id.contains(" OK "), qPrintable(id));
    const QString password = other ? server.otherPassword() : server.password();
    QCOMPARE(client->login(other ? server.otherUser() : server.user(), password), 1);
    QVERIFY(!client->lastErrorText().contains(password));
    client->disconnectFromServer();
}

void TestImapClientDovecot::wrongPasswordReportsServerTextOnly()
{
    TestServer &server = TestServer::instance();
    ImapClientOptions options;
    options.extraCaFile = server.caFile();
    auto client = createImapClient(options);
    client->setPort(server.port());
    QCOMPARE(client->connectToServer(server.host()), 1);
    const QString wrong = QStringLiteral("not-") + server.password();
    QVERIFY(client->login(server.user(), wrong) != 1);
    const QString error = client->lastErrorText();
    QVERIFY2(error.contains(QStringLiteral("Authentication failed")), qPrintable(error));
    QVERIFY2(!error.contains(wrong) && !error.contains(server.password()), qPrintable(error));
}

void TestImapClientDovecot::certificateRefused_data()
{
    QTest::addColumn<bool>("trustCa");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("reason");
    QTest::newRow("unknown certificate authority") << false << TestServer::instance().host() << "issuer";
    QTest::newRow("host name not in the certificate") << true << hostAliasNotInCertificate() << "host name";
}

void TestImapClientDovecot::certificateRefused()
{
    QFETCH(bool, trustCa);
    QFETCH(QString, host);
    QFETCH(QString, reason);
    if (host.isEmpty())
        QSKIP("no name for 127.0.0.1 outside the certificate on this machine");
    TestServer &server = TestServer::instance();
    ImapClientOptions options;
    if (trustCa)
        options.extraCaFile = server.caFile();
    auto client = createImapClient(options);
    client->setPort(server.port());
    QVERIFY(client->connectToServer(host) != 1);
    QVERIFY2(client->lastErrorText().contains(reason), qPrintable(client->lastErrorText()));
    QVERIFY(client->rawCommand(QStringLiteral("ID (\"GUID\" \"1\")")).isEmpty());
}

void TestImapClientDovecot::listsNamesInServerOrder()
{
    auto client = loggedInClient();
    QVERIFY(client);
    const auto list = client->listMailboxes(QString(), QStringLiteral("*"));
    QVERIFY(list);
    TestServer &server = TestServer::instance();
    const QStringList serverOrder = server.doveadm({QStringLiteral("mailbox"), QStringLiteral("list"),
                                                    QStringLiteral("-u"), server.user()})
                                        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(list->names, serverOrder);
    for (const QString &name : {AllMail, QStringLiteral("Work/Projects"), QStringLiteral("Reçus"),
                                QStringLiteral("INBOX")})
        QVERIFY2(list->names.contains(name), qPrintable(name));
    QCOMPARE(list->count(), list->names.size());
}

void TestImapClientDovecot::countsAndFetchesAllMail()
{
    auto client = loggedInClient();
    QVERIFY(client);
    const int expected = corpus()[QStringLiteral("folders")][AllMail].toArray().size();
    QVERIFY(expected > 1);
    QCOMPARE(client->selectMailbox(AllMail), 1);
    QCOMPARE(client->messageCount(), expected);
    for (const int n : {1, expected}) {
        const auto email = client->fetchMessage(n, false);
        QVERIFY2(email, qPrintable(client->lastErrorText()));
        QCOMPARE(email->subject, expectedSubject(AllMail, n));
    }
    QVERIFY(client->fetchMessage(expected + 1, false) == nullptr);
    QVERIFY(client->selectMailbox(QStringLiteral("No Such Folder")) != 1);
    QCOMPARE(client->messageCount(), 0);
    QVERIFY(client->fetchMessage(1, false) == nullptr);
    QCOMPARE(client->selectMailbox(QStringLiteral("Reçus")), 1);
    QCOMPARE(client->messageCount(), corpus()[QStringLiteral("folders")][QStringLiteral("Reçus")].toArray().size());
}

void TestImapClientDovecot::fetchingLeavesSeenFlagsAlone()
{
    TestServer &server = TestServer::instance();
    const QStringList flagsQuery{QStringLiteral("fetch"), QStringLiteral("-u"), server.user(),
                                 QStringLiteral("uid flags"), QStringLiteral("mailbox"), AllMail};
    const QString before = server.doveadm(flagsQuery);
    QVERIFY(before.contains(QStringLiteral("flags:")));
    auto client = loggedInClient();
    QVERIFY(client);
    QCOMPARE(client->selectMailbox(AllMail), 1);
    const int count = qMin(client->messageCount(), 30);
    for (int n = 1; n <= count; ++n)
        QVERIFY2(client->fetchMessage(n, false), qPrintable(client->lastErrorText()));
    QCOMPARE(server.doveadm(flagsQuery), before);
}

void TestImapClientDovecot::abortDuringFetchKeepsConnectionUsable()
{
    auto client = loggedInClient();
    QVERIFY(client);
    AbortingReceiver receiver;
    client->setEventReceiver(&receiver);
    QCOMPARE(client->selectMailbox(AllMail), 1);
    const int last = client->messageCount(); // the 10 MB message
    receiver.clock.start();
    receiver.abortNow = true;
    QVERIFY(client->fetchMessage(last, false) == nullptr);
    QVERIFY2(receiver.clock.elapsed() - receiver.abortedAt < 200, qPrintable(QString::number(receiver.clock.elapsed())));
    receiver.abortNow = false;
    const auto email = client->fetchMessage(1, false);
    QVERIFY2(email, qPrintable(client->lastErrorText()));
    QCOMPARE(email->subject, expectedSubject(AllMail, 1));
    client->setEventReceiver(nullptr);
    QVERIFY(client->fetchMessage(last, false));
}

// Fetches that leave the announced order, and other commands in between, get
// their own answers; what was fetched ahead is dropped and never handed out.
void TestImapClientDovecot::leavingTheExpectedOrderDropsWhatCameAhead()
{
    auto client = loggedInClient();
    QVERIFY(client);
    QCOMPARE(client->selectMailbox(AllMail), 1);
    const int last = client->messageCount() - 1; // all but the 10 MB message
    const auto expectSubject = [&](int n) {
        const auto email = client->fetchMessage(n, false);
        return email ? email->subject == expectedSubject(AllMail, n) : false;
    };
    client->expectFetches(1, last);
    QVERIFY(expectSubject(1));
    QVERIFY(expectSubject(2));
    QVERIFY2(expectSubject(7), qPrintable(client->lastErrorText())); // skips ahead
    QVERIFY(expectSubject(3));                                      // goes back
    client->expectFetches(4, last);
    QVERIFY(expectSubject(4));
    QVERIFY(!client->rawCommand(QStringLiteral("NOOP")).isEmpty());
    QVERIFY(expectSubject(5));
    client->expectFetches(6, last);
    QVERIFY(expectSubject(6));
    QCOMPARE(client->selectMailbox(QStringLiteral("Reçus")), 1);
    QVERIFY(client->fetchMessage(1, false));
    QCOMPARE(client->selectMailbox(AllMail), 1);
    client->expectFetches(1, last);
    for (int n = 1; n <= last; ++n)
        QVERIFY2(expectSubject(n), qPrintable(QString::number(n)));
}

QTEST_GUILESS_MAIN(TestImapClientDovecot)
#include "tst_imapclientdovecot.moc"
