// Not a test: measures fetching and decoding from the loopback Dovecot.
// Prints messages per second over "[Gmail]/All Mail" and the peak resident
// memory around fetching its last (about 10 MB) message.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include "session/imapclient.h"
#include "tests/support/testserver.h"

namespace {

// Peak resident set size of this process so far, in KiB (VmHWM).
qint64 peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    TestServer &server = TestServer::instance();
    if (!server.isRunning()) {
        out << "test server not running: " << server.startError() << "\n";
        return 1;
    }
    ImapClientOptions options;
    options.extraCaFile = server.caFile();
    auto client = createImapClient(options);
    client->setPort(server.port());
    if (client->connectToServer(server.host()) != 1 || client->login(server.user(), server.password()) != 1
        || client->selectMailbox(QStringLiteral("[Gmail]/All Mail")) != 1) {
        out << "cannot open All Mail: " << client->lastErrorText() << "\n";
        return 1;
    }
    const int count = client->messageCount();
    const int rounds = 5;
    QElapsedTimer clock;
    clock.start();
    int fetched = 0;
    for (int round = 0; round < rounds; ++round) {
        for (int n = 1; n < count; ++n) // all but the 10 MB message
            fetched += client->fetchMessage(n, false) ? 1 : 0;
    }
    const double seconds = clock.elapsed() / 1000.0;
    out << "fetched and decoded " << fetched << " messages in " << seconds << " s: " << fetched / seconds
        << " messages/s\n";
    const qint64 before = peakResidentKiB();
    clock.restart();
    const auto big = client->fetchMessage(count, false);
    out << "last message (" << (big ? "ok" : "failed") << ") in " << clock.elapsed() << " ms; peak RSS "
        << before << " KiB before, " << peakResidentKiB() << " KiB after\n";
    client->disconnectFromServer();
    return 0;
}
