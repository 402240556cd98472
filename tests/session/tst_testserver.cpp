// Guards the Dovecot fixture every mail test relies on.
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QtTest>

#include "tests/support/testserver.h"

class TestTestServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void acceptsTlsWithItsCa_data();
    void acceptsTlsWithItsCa();
    void listsEveryCorpusFolder();
    void folderCountsMatchTheCorpus();
    void positionsAndSeenFlagsMatchTheCorpus();
};

void TestTestServer::initTestCase()
{
    TestServer &server = TestServer::instance();
    QVERIFY2(server.isRunning(), qPrintable(server.startError()));
}

void TestTestServer::acceptsTlsWithItsCa_data()
{
    QTest::addColumn<QString>("peerName");
    QTest::newRow("by ip address") << QStringLiteral("127.0.0.1");
    QTest::newRow("by localhost") << QStringLiteral("localhost");
}

void TestTestServer::acceptsTlsWithItsCa()
{
    QFETCH(QString, peerName);
    TestServer &server = TestServer::instance();
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setCaCertificates(QSslCertificate::fromPath(server.caFile()));
    QSslSocket socket;
    socket.setSslConfiguration(config);
    socket.connectToHostEncrypted(server.host(), quint16(server.port()), peerName);
    QVERIFY2(socket.waitForEncrypted(10000), qPrintable(socket.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(socket.canReadLine(), 10000);
    QVERIFY(socket.readLine().startsWith("* OK"));
}

static QJsonObject expectedCorpus()
{
    QFile file(TestServer::instance().expectedFieldsFile());
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

void TestTestServer::listsEveryCorpusFolder()
{
    TestServer &server = TestServer::instance();
    const QJsonObject folders = expectedCorpus().value(QStringLiteral("folders")).toObject();
    QVERIFY(folders.contains(QStringLiteral("Reçus")));
    const QStringList listed = server.doveadm({QStringLiteral("mailbox"), QStringLiteral("list"),
                                               QStringLiteral("-u"), server.user()})
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &folder : folders.keys())
        QVERIFY2(listed.contains(folder), qPrintable(folder));
}

void TestTestServer::folderCountsMatchTheCorpus()
{
    TestServer &server = TestServer::instance();
    const QJsonObject folders = expectedCorpus().value(QStringLiteral("folders")).toObject();
    QVERIFY(folders.value(QStringLiteral("[Gmail]/Trash")).toArray().isEmpty());
    for (auto it = folders.begin(); it != folders.end(); ++it) {
        const QString status = server.doveadm({QStringLiteral("mailbox"), QStringLiteral("status"),
                                               QStringLiteral("-u"), server.user(),
                                               QStringLiteral("messages"), it.key()});
        QCOMPARE(status.trimmed(),
                 QStringLiteral("%1 messages=%2").arg(it.key()).arg(it.value().toArray().size()));
    }
}

// The mail tests find messages by position and check that \Seen never
// changes: the server's order and flags must be the ones the corpus recorded.
void TestTestServer::positionsAndSeenFlagsMatchTheCorpus()
{
    TestServer &server = TestServer::instance();
    const QJsonObject corpus = expectedCorpus();
    QHash<QString, QJsonObject> byId;
    for (const QJsonValue &value : corpus.value(QStringLiteral("messages")).toArray())
        byId.insert(value.toObject().value(QStringLiteral("id")).toString(), value.toObject());
    const QJsonObject folders = corpus.value(QStringLiteral("folders")).toObject();
    for (auto it = folders.begin(); it != folders.end(); ++it) {
        QStringList rows = server.doveadm({QStringLiteral("-f"), QStringLiteral("tab"), QStringLiteral("fetch"),
                                           QStringLiteral("-u"), server.user(),
                                           QStringLiteral("size.physical flags"), QStringLiteral("mailbox"),
                                           it.key()})
                               .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const QJsonArray ids = it.value().toArray();
        if (!rows.isEmpty())
            rows.removeFirst(); // column names
        QCOMPARE(rows.size(), ids.size());
        for (int position = 0; position < ids.size(); ++position) {
            const QJsonObject message = byId.value(ids.at(position).toString());
            QCOMPARE(message.value(QStringLiteral("positions")).toObject().value(it.key()).toInt(), position + 1);
            const QStringList columns = rows.at(position).split(QLatin1Char('\t'));
            QCOMPARE(columns.value(0).toInt(), message.value(QStringLiteral("size")).toInt());
            QCOMPARE(columns.value(1).contains(QStringLiteral("\\Seen")), message.value(QStringLiteral("seen")).toBool());
        }
    }
}

QTEST_GUILESS_MAIN(TestTestServer)
#include "tst_testserver.moc"
