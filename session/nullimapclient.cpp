// Placeholder until the engine lands: every operation fails.
#include "session/imapclient.h"

namespace {

class NullImapClient : public ImapClient
{
public:
    void setSsl(bool) override {}
    void setPort(qint32) override {}
    qint32 connectToServer(const QString &) override { return 0; }
    QString rawCommand(const QString &) override { return QString(); }
    qint32 login(const QString &, const QString &) override { return 0; }
    qint32 selectMailbox(const QString &) override { return 0; }
    qint32 messageCount() override { return 0; }
    std::unique_ptr<ImapEmail> fetchMessage(qint32, bool) override { return nullptr; }
    std::unique_ptr<ImapMailboxList> listMailboxes(const QString &, const QString &) override { return nullptr; }
    QString lastErrorText() const override { return QStringLiteral("not connected"); }
    void disconnectFromServer() override {}
    void setEventReceiver(ImapEvents *receiver) override { m_receiver = receiver; }
    ImapEvents *eventReceiver() const override { return m_receiver; }

private:
    ImapEvents *m_receiver = nullptr;
};

} // namespace

std::unique_ptr<ImapClient> createImapClient(const ImapClientOptions &)
{
    return std::make_unique<NullImapClient>();
}
