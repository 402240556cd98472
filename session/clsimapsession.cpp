#include "session/clsimapsession.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include "app/boxes.h"
#include "app/errortrap.h"
#include "app/paths.h"
#include "app/programstate.h"

namespace {

const char kIdentification[] = "ID (\"GUID\" \"1\")";
const qint32 kEnumerationErrorNumber = -2147221504 + 100;

// The box names the cause in a paragraph of its own after the first one.
QString loginFailureText(const QString &reason)
{
    return QStringLiteral("Invalid login. Please double-check your username and password.\r\n\r\n")
        + (reason.isEmpty() ? QString() : reason + QStringLiteral("\r\n\r\n"))
        + QStringLiteral("In addition, please check your Gmail Inbox for a message from Google about Less Secure "
                         "Apps.\r\n\r\n"
                         "Would you like to see a screenshot/picture of the Less Secure Apps email so you know "
                         "exactly what I'm talking about?");
}

// The length of the system-folder prefix `name` starts with, or 0. Older UK
// and German accounts have "[Google Mail]" where others have "[Gmail]".
qsizetype systemPrefixLength(const QString &name)
{
    for (const QLatin1String prefix : {QLatin1String("[Gmail]/"), QLatin1String("[Google Mail]/")}) {
        if (name.startsWith(prefix, Qt::CaseInsensitive))
            return prefix.size();
    }
    return 0;
}

// RFC 6154 marks a system folder whatever the account's language calls it.
bool hasSpecialUse(const ImapMailboxList &list, int index)
{
    for (const char *use : {"\\All", "\\Drafts", "\\Sent", "\\Junk", "\\Flagged", "\\Trash", "\\Important"}) {
        if (list.hasAttribute(index, QLatin1String(use)))
            return true;
    }
    return false;
}

// A name LIST reports that cannot be opened (a parent such as "[Gmail]").
bool isSelectable(const ImapMailboxList &list, int index)
{
    return !list.hasAttribute(index, QStringLiteral("\\Noselect"))
        && !list.hasAttribute(index, QStringLiteral("\\NonExistent"));
}

void letEventsRun()
{
    QCoreApplication::processEvents();
}

} // namespace

clsImapSession::clsImapSession() = default;

clsImapSession::~clsImapSession()
{
    // The client outlives sessions; it must not call back into a dead one.
    if (ImapObject && ImapObject->eventReceiver() == this)
        ImapObject->setEventReceiver(nullptr);
}

void clsImapSession::bindEvents()
{
    if (!ImapObject)
        throw AppError(QStringLiteral("Object variable not set"));
    ImapObject->setEventReceiver(this);
}

void clsImapSession::GetLastError()
{
    const QString reason = ImapObject ? ImapObject->lastFailure().reason : QString();
    if (m_reports) {
        m_reports->operationFailed(m_step, reason);
        return;
    }
    if (!askYesNo(loginFailureText(reason)))
        return;
    for (const char *picture : {"/Pictures/less-secure-apps1.jpg", "/Pictures/less-secure-apps2.jpg"})
        QDesktopServices::openUrl(QUrl::fromLocalFile(programFolder() + QLatin1String(picture)));
}

bool clsImapSession::Connect()
{
    bindEvents();
    ImapObject->setSsl(SSL);
    ImapObject->setPort(PORT);
    m_step = SessionStep::Connect;
    LastStatus = ImapObject->connectToServer(IMAPServer);
    if (LastStatus != ImapClient::StatusOk) {
        GetLastError();
        return false;
    }
    m_step = SessionStep::Identify;
    if (ImapObject->rawCommand(QLatin1String(kIdentification)).isEmpty()) {
        GetLastError();
        return false;
    }
    m_step = SessionStep::Login;
    LastStatus = ImapObject->login(Username, Password);
    if (LastStatus == ImapClient::StatusOk)
        return true;
    GetLastError();
    return false;
}

qint32 clsImapSession::GetTotalMessage(const QString &FolderName)
{
    bindEvents();
    m_step = SessionStep::Select;
    LastStatus = ImapObject->selectMailbox(FolderName);
    if (LastStatus == ImapClient::StatusOk)
        return ImapObject->messageCount();
    GetLastError();
    return 0;
}

void clsImapSession::StartMailExtraction(const QString &FolderName)
{
    m_listing = ListingOutcome();
    m_listing.wanted = qMax<qint64>(0, qint64(MaxRecord) - CurrentLocation + 1);
    if (!Connect()) {
        noteNotListed(m_listing.wanted, ImapObject->lastFailure());
        if (m_reports)
            m_reports->listingConnectFailed();
        else
            showMessage(QStringLiteral("Connection failed. Check username and password."));
        return;
    }
    bindEvents();
    m_step = SessionStep::Select;
    LastStatus = ImapObject->selectMailbox(FolderName);
    if (LastStatus != ImapClient::StatusOk) {
        noteNotListed(m_listing.wanted, ImapObject->lastFailure());
        GetLastError();
        return;
    }
    const qint32 first = CurrentLocation;
    const qint32 last = MaxRecord;
    m_listing.wanted = qMax<qint64>(0, qint64(last) - first + 1);
    if (first <= last)
        ImapObject->expectFetches(first, last);
    // 64-bit so that a range ending at the largest 32-bit number still ends.
    for (qint64 n = first; n <= last; ++n) {
        letEventsRun();
        CurrentLocation = qint32(n);
        const std::unique_ptr<ImapEmail> email = ImapObject->fetchMessage(qint32(n), false);
        WriteErrorLog();
        if (!email) {
            const ImapFailure failure = ImapObject->lastFailure();
            if (!failure.endsListing()) {
                noteNotListed(1, failure);
                continue;
            }
            // Every later command would meet the same end: none is sent.
            noteNotListed(last - n + 1, failure);
            return;
        }
        if (AbortProcess)
            return;
        ++m_listing.listed;
        emit MailExtractListing(email->from, email->fromName, email->fromAddress, email->subject,
                                formatReceivedDate(email->date), email->plainTextBody, email->htmlTextBody, qint32(n));
        letEventsRun();
    }
}

std::optional<QStringList> clsImapSession::EnumMailFolders()
{
    try {
        bindEvents();
        m_step = SessionStep::List;
        const std::unique_ptr<ImapMailboxList> list = ImapObject->listMailboxes(QString(), QStringLiteral("*"));
        if (!list) {
            GetLastError();
            return std::nullopt;
        }
        ProgramState &state = program();
        QStringList collection;
        int systemFolder = 1;
        int label = 0;
        for (int i = 0; i < list->count(); ++i) {
            const QString name = list->name(i);
            collection << name;
            const qsizetype prefix = systemPrefixLength(name);
            if (!isSelectable(*list, i)) {
                // Offered neither as a folder nor as a label: it cannot be listed.
            } else if (prefix > 0 || hasSpecialUse(*list, i)) {
                if (systemFolder <= 7) {
                    state.SpecialFolderNames[size_t(systemFolder)] = name.mid(prefix);
                    state.SpecialFolderMailboxes[size_t(systemFolder)] = name;
                }
                ++systemFolder;
            } else if (name != QLatin1String("INBOX")) {
                if (label == 0)
                    state.LabelNames = QStringList();
                state.LabelNames->append(name);
                ++label;
            }
            letEventsRun();
        }
        return collection;
    } catch (...) {
        throw NumberedError(kEnumerationErrorNumber, QStringLiteral("Pellucid.clsImapSession.EnumMailFolders"),
                            QStringLiteral("clsImapSession component failure"));
    }
}

std::unique_ptr<ImapMessageSizes> clsImapSession::GetMessageSizes()
{
    bindEvents();
    std::unique_ptr<ImapMessageSizes> sizes = ImapObject->messageSizes(CurrentLocation, MaxRecord);
    if (!sizes && m_reports)
        m_reports->operationFailed(SessionStep::Sizes, ImapObject->lastFailure().reason);
    return sizes;
}

void clsImapSession::noteNotListed(qint64 count, const ImapFailure &failure)
{
    // The user's Stop is no failure; numbers past the mailbox name no message.
    if (count <= 0 || AbortProcess || failure.kind == ImapFailure::Kind::Stopped
        || failure.kind == ImapFailure::Kind::NoSuchMessage)
        return;
    if (m_listing.notListed == 0)
        m_listing.firstFailure = failure.reason;
    m_listing.notListed += count;
}

void clsImapSession::abortCheck(qint32 &abort)
{
    abort = AbortProcess ? 1 : 0;
    letEventsRun();
}

void clsImapSession::percentDone(qint32 percent)
{
    emit ScrapProgress(percent);
    letEventsRun();
}

void clsImapSession::WriteErrorLog()
{
    // Diagnostics only: every failure here is ignored. This runs once per
    // message, so the file stays open for the session's life, and the folder
    // is made only when opening fails.
    if (!m_errorLog) {
        auto log = std::make_unique<QFile>(errorLogPath());
        if (!log->open(QIODevice::WriteOnly | QIODevice::Append)
            && !(QDir().mkpath(QFileInfo(log->fileName()).absolutePath())
                 && log->open(QIODevice::WriteOnly | QIODevice::Append)))
            return;
        m_errorLog = std::move(log);
    }
    const qint64 second = QDateTime::currentSecsSinceEpoch();
    if (second != m_errorLogSecond) {
        m_errorLogSecond = second;
        m_errorLogTime = QDateTime::fromSecsSinceEpoch(second).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
    }
    const QByteArray entry = m_errorLogTime + " : " + (ImapObject ? ImapObject->lastErrorText() : QString()).toUtf8()
        + "\r\n" + QByteArray(52, '*') + "\r\n";
    // Each entry reaches the file whole at once, so a program killed mid-listing leaves a complete log.
    m_errorLog->write(entry);
    m_errorLog->flush();
}

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
