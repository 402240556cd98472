#include "tests/support/fakeimapserver.h"

#include <QFile>
#include <QSslKey>
#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

FakeImapServer::FakeImapServer(const QString &certificateFile, const QString &keyFile)
{
    if (certificateFile.isEmpty()) {
        m_server = std::make_unique<QTcpServer>();
    } else {
        auto server = std::make_unique<QSslServer>();
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificateChain(QSslCertificate::fromData(readAll(certificateFile), QSsl::Pem));
        config.setPrivateKey(QSslKey(readAll(keyFile), QSsl::Rsa, QSsl::Pem));
        config.setPeerVerifyMode(QSslSocket::VerifyNone);
        server->setSslConfiguration(config);
        m_server = std::move(server);
    }
    // A TLS connection is pending only once its handshake is done.
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, &FakeImapServer::onNewConnection);
    m_server->listen(QHostAddress::LocalHost, 0);
}

FakeImapServer::~FakeImapServer() = default;

FakeImapServer &FakeImapServer::send(const QByteArray &bytes)
{
    m_steps.append({Step::Kind::Send, bytes, 0});
    return *this;
}

FakeImapServer &FakeImapServer::expect(const QByteArray &bytes)
{
    m_steps.append({Step::Kind::Expect, bytes, 0});
    return *this;
}

FakeImapServer &FakeImapServer::pause(int ms)
{
    m_steps.append({Step::Kind::Pause, QByteArray(), ms});
    return *this;
}

FakeImapServer &FakeImapServer::close()
{
    m_steps.append({Step::Kind::Close, QByteArray(), 0});
    return *this;
}

FakeImapServer &FakeImapServer::accept()
{
    m_steps.append({Step::Kind::Accept, QByteArray(), 0});
    return *this;
}

QString FakeImapServer::problem() const
{
    if (!m_mismatch.isEmpty())
        return m_mismatch;
    if (m_next < m_steps.size())
        return QStringLiteral("script stopped at step %1 of %2; received so far: %3")
            .arg(m_next + 1).arg(m_steps.size()).arg(QString::fromUtf8(m_received));
    return QString();
}

void FakeImapServer::onNewConnection()
{
    while (m_server->hasPendingConnections()) {
        QTcpSocket *socket = m_server->nextPendingConnection();
        socket->setParent(this);
        m_waiting.append(socket);
    }
    if (!m_socket)
        takeNextConnection();
    advance();
}

void FakeImapServer::takeNextConnection()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
    }
    m_socket = m_waiting.takeFirst();
    m_received.clear();
    connect(m_socket, &QTcpSocket::readyRead, this, [this, socket = m_socket] {
        if (socket != m_socket)
            return;
        m_received.append(m_socket->readAll());
        advance();
    });
    m_received.append(m_socket->readAll());
}

void FakeImapServer::advance()
{
    while (m_socket && !m_paused && m_mismatch.isEmpty() && m_next < m_steps.size()) {
        const Step &step = m_steps.at(m_next);
        switch (step.kind) {
        case Step::Kind::Accept:
            if (m_waiting.isEmpty())
                return;
            if (!m_received.isEmpty()) {
                m_mismatch = QStringLiteral("unexpected bytes before a new connection: ") + QString::fromUtf8(m_received);
                return;
            }
            takeNextConnection();
            break;
        case Step::Kind::Send:
            m_socket->write(step.bytes);
            m_socket->flush();
            break;
        case Step::Kind::Expect:
            if (m_received.size() < step.bytes.size()) {
                if (!step.bytes.startsWith(m_received))
                    m_mismatch = QStringLiteral("expected %1, received %2")
                                     .arg(QString::fromUtf8(step.bytes), QString::fromUtf8(m_received));
                return;
            }
            if (!m_received.startsWith(step.bytes)) {
                m_mismatch = QStringLiteral("expected %1, received %2")
                                 .arg(QString::fromUtf8(step.bytes), QString::fromUtf8(m_received));
                m_socket->abort();
                return;
            }
            m_received.remove(0, step.bytes.size());
            break;
        case Step::Kind::Pause:
            m_paused = true;
            ++m_next;
            QTimer::singleShot(step.ms, this, [this] {
                m_paused = false;
                advance();
            });
            return;
        case Step::Kind::Close:
            m_socket->disconnectFromHost();
            break;
        }
        ++m_next;
    }
    if (m_socket && m_mismatch.isEmpty() && m_next == m_steps.size() && !m_received.isEmpty())
        m_mismatch = QStringLiteral("unexpected bytes from the client: ") + QString::fromUtf8(m_received);
}
