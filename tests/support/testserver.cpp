#include "tests/support/testserver.h"

#include <csignal>
#include <ctime>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/types.h>
#include <unistd.h>

#include "app/programstate.h"

namespace {

// The server's pid for the fatal-signal handlers; 0 when none runs.
volatile sig_atomic_t g_serverPid = 0;

struct sigaction g_previousActions[NSIG];
const int g_fatalSignals[] = {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGINT, SIGTERM};

// An abort or crash skips static destructors: stop the server, then let the
// previous handler (QtTest's crash report) or the default action run.
void stopServerOnSignal(int signal)
{
    if (g_serverPid > 0)
        ::kill(pid_t(g_serverPid), SIGTERM);
    g_serverPid = 0;
    ::sigaction(signal, &g_previousActions[signal], nullptr);
    ::raise(signal);
}

void installSignalHandlers()
{
    for (int signal : g_fatalSignals) {
        struct sigaction action = {};
        action.sa_handler = stopServerOnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signal, &action, &g_previousActions[signal]);
    }
}

QString sourceDirectory()
{
    const QString fromEnvironment = qEnvironmentVariable("CORVINA_SOURCE_DIR");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStringLiteral(CORVINA_SOURCE_DIR_FALLBACK);
}

QHash<QString, QString> readEnvFile(const QString &path)
{
    QHash<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const int equals = line.indexOf('=');
        if (equals > 0)
            values.insert(QString::fromUtf8(line.left(equals)), QString::fromUtf8(line.mid(equals + 1)));
    }
    return values;
}

// Debian puts doveadm in /usr/sbin, which a normal user's PATH lacks.
QString doveadmProgram()
{
    QString program = QStandardPaths::findExecutable(QStringLiteral("doveadm"));
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(QStringLiteral("doveadm"),
                                                 {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return program.isEmpty() ? QStringLiteral("doveadm") : program;
}

} // namespace

struct TestServer::Private
{
    QTemporaryDir directory;
    QString script;
    QString error;
    QHash<QString, QString> values;
    bool running = false;
};

TestServer &TestServer::instance()
{
    static TestServer server;
    return server;
}

TestServer::TestServer() : d(new Private)
{
    start();
}

TestServer::~TestServer()
{
    stop();
    delete d;
}

void TestServer::start()
{
    d->script = sourceDirectory() + QStringLiteral("/scripts/test-server.sh");
    if (!QFileInfo::exists(d->script)) {
        d->error = QStringLiteral("test server script not found: %1 (set CORVINA_SOURCE_DIR)").arg(d->script);
        return;
    }
    if (!d->directory.isValid()) {
        d->error = QStringLiteral("cannot create a temporary folder: %1").arg(d->directory.errorString());
        return;
    }
    QProcess process;
    process.start(QStringLiteral("bash"), {d->script, QStringLiteral("start"), d->directory.path(),
                                          QStringLiteral("test"), QString::number(::getpid())});
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        process.kill();
        process.waitForFinished();
        d->error = QStringLiteral("test-server.sh start failed: %1 %2")
                       .arg(process.errorString(), QString::fromUtf8(process.readAllStandardError()));
        return;
    }
    d->values = readEnvFile(d->directory.filePath(QStringLiteral("server.env")));
    if (port() <= 0 || d->values.value(QStringLiteral("PID")).toInt() <= 0) {
        d->error = QStringLiteral("test-server.sh wrote no usable server.env");
        return;
    }
    g_serverPid = d->values.value(QStringLiteral("PID")).toInt();
    installSignalHandlers();
    d->running = true;
}

void TestServer::stop()
{
    if (!d->running)
        return;
    d->running = false;
    QProcess process;
    process.start(QStringLiteral("bash"), {d->script, QStringLiteral("stop"), d->directory.path()});
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
    }
    g_serverPid = 0;
}

bool TestServer::isRunning() const { return d->running; }
QString TestServer::startError() const { return d->error; }
QString TestServer::host() const { return d->values.value(QStringLiteral("HOST"), QStringLiteral("127.0.0.1")); }
int TestServer::port() const { return d->values.value(QStringLiteral("PORT")).toInt(); }
QString TestServer::caFile() const { return d->values.value(QStringLiteral("CA")); }
QString TestServer::user() const { return d->values.value(QStringLiteral("USER")); }
QString TestServer::password() const { return d->values.value(QStringLiteral("PASSWORD")); }
QString TestServer::otherUser() const { return d->values.value(QStringLiteral("USER2")); }
QString TestServer::otherPassword() const { return d->values.value(QStringLiteral("PASSWORD2")); }
QString TestServer::googleMailUser() const { return d->values.value(QStringLiteral("USER3")); }
QString TestServer::googleMailPassword() const { return d->values.value(QStringLiteral("PASSWORD3")); }
QString TestServer::directory() const { return d->directory.path(); }
QString TestServer::expectedFieldsFile() const { return d->values.value(QStringLiteral("EXPECTED")); }

QString TestServer::doveadm(const QStringList &arguments) const
{
    if (!d->running)
        return QString();
    QProcess process;
    process.start(doveadmProgram(),
                  QStringList{QStringLiteral("-c"), d->values.value(QStringLiteral("CONF"))} + arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

void TestServer::useCorpusTimeZone()
{
    qputenv("TZ", "UTC");
    ::tzset();
}

void TestServer::serveProgram() const
{
    program().server.host = host();
    program().server.port = port();
    program().server.caFile = caFile();
}
