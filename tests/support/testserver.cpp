#include "tests/support/testserver.h"

// Placeholder until the test server scripts land.
struct TestServer::Private
{
};

TestServer &TestServer::instance()
{
    static TestServer server;
    return server;
}

TestServer::TestServer() : d(new Private) {}
TestServer::~TestServer() { delete d; }
bool TestServer::isRunning() const { return false; }
QString TestServer::startError() const { return QStringLiteral("the test server is not built yet"); }
QString TestServer::host() const { return QStringLiteral("127.0.0.1"); }
int TestServer::port() const { return 0; }
QString TestServer::caFile() const { return QString(); }
QString TestServer::user() const { return QString(); }
QString TestServer::password() const { return QString(); }
QString TestServer::directory() const { return QString(); }
QString TestServer::expectedFieldsFile() const { return QString(); }
QString TestServer::doveadm(const QStringList &) const { return QString(); }
