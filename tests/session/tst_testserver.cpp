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

QTEST_GUILESS_MAIN(TestTestServer)
#include "tst_testserver.moc"
