#include "session/clsimapsession.h"

// Placeholder bodies: the session is built on the IMAP engine.

clsImapSession::clsImapSession() = default;

clsImapSession::~clsImapSession()
{
    if (ImapObject && ImapObject->eventReceiver() == this)
        ImapObject->setEventReceiver(nullptr);
}

void clsImapSession::GetLastError() {}
bool clsImapSession::Connect() { return false; }
qint32 clsImapSession::GetTotalMessage(const QString &) { return 0; }
void clsImapSession::StartMailExtraction(const QString &) {}
std::optional<QStringList> clsImapSession::EnumMailFolders() { return std::nullopt; }
void clsImapSession::abortCheck(qint32 &abort) { abort = AbortProcess ? 1 : 0; }
void clsImapSession::percentDone(qint32 percent) { emit ScrapProgress(percent); }
void clsImapSession::bindEvents() {}
void clsImapSession::WriteErrorLog() {}

QString formatReceivedDate(const QDateTime &date)
{
    if (!date.isValid())
        return QString();
    const QDateTime local = date.toLocalTime();
    if (local.time() == QTime(0, 0))
        return local.toString(QStringLiteral("yyyy-MM-dd"));
    return local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDateTime parseReceivedDate(const QString &text)
{
    QDateTime parsed = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!parsed.isValid())
        parsed = QDateTime(QDate::fromString(text, QStringLiteral("yyyy-MM-dd")), QTime(0, 0));
    return parsed;
}
