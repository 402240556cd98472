#include "tests/support/fakeimapserver.h"

#include <QTcpSocket>
#include <QTimer>

FakeImapServer::FakeImapServer()
{
    connect(&m_server, &QTcpServer::newConnection, this, &FakeImapServer::onNewConnection);
    m_server.listen(QHostAddress::LocalHost, 0);
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

FakeImapServer &FakeImapServer::acceptNext()
{
    m_steps.append({Step::Kind::AcceptNext, QByteArray(), 0});
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
    QTcpSocket *socket = m_server.nextPendingConnection();
    if (m_socket && m_awaitingConnection) {
        m_awaitingConnection = false;
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
        m_received.clear();
    }
    if (m_socket) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    m_socket = socket;
    m_socket->setParent(this);
    connect(m_socket, &QTcpSocket::readyRead, this, [this] {
        m_received.append(m_socket->readAll());
        advance();
    });
    advance();
}

void FakeImapServer::advance()
{
    while (!m_paused && m_mismatch.isEmpty() && m_next < m_steps.size()) {
        const Step &step = m_steps.at(m_next);
        switch (step.kind) {
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
        case Step::Kind::AcceptNext:
            // What the old connection still had to say is left unread with it.
            m_received.clear();
            m_awaitingConnection = true;
            ++m_next;
            if (m_server.hasPendingConnections())
                onNewConnection();
            return;
        }
        ++m_next;
    }
    if (m_mismatch.isEmpty() && m_next == m_steps.size() && !m_received.isEmpty())
        m_mismatch = QStringLiteral("unexpected bytes from the client: ") + QString::fromUtf8(m_received);
}
