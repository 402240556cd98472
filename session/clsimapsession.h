#pragma once

#include <memory>
#include <optional>

#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include "session/imapclient.h"
#include "session/sessionreports.h"

// The mail session: works on the window's one IMAP client on behalf of the
// main window. Its owner holds it in a std::shared_ptr and every caller keeps
// its own copy for the duration of a call, since a Stop click handled inside
// the call drops the owner's reference.
// How the last listing ended. Messages the user's Stop left untried, and
// positions beyond the mailbox, are neither listed nor counted as not listed.
struct ListingOutcome
{
    qint64 wanted = 0;    // the numbers of the range
    qint64 listed = 0;    // messages handed to the owner
    qint64 notListed = 0; // messages the range holds that could not be listed
    QString firstFailure; // why the first of them could not, for the user
};

class clsImapSession : public QObject, public ImapEvents
{
    Q_OBJECT

public:
    clsImapSession();
    ~clsImapSession() override;

    // Stop request; only ever goes from False to True.
    bool AbortProcess = false;
    qint32 MaxRecord = 0;
    qint32 CurrentLocation = 0;
    std::shared_ptr<ImapClient> ImapObject;
    qint32 PORT = 0;
    bool SSL = false;
    QString IMAPServer;
    QString Password;
    QString Username;

    // The one failure report: the Yes/No box; on Yes the two pictures open.
    void GetLastError();
    // Connect, identify, log in. No retry.
    bool Connect();
    // Selects the mailbox and returns its message count, 0 on failure.
    qint32 GetTotalMessage(const QString &FolderName);
    // Fetches CurrentLocation..MaxRecord, one MailExtractListing per message.
    void StartMailExtraction(const QString &FolderName);
    // All mailbox names, or none on failure; fills SpecialFolderNames and
    // LabelNames. Any other failure throws NumberedError.
    std::optional<QStringList> EnumMailFolders();

    // The sizes of CurrentLocation..MaxRecord in the selected mailbox; no box
    // on failure (the reports hear of it), nullptr then.
    std::unique_ptr<ImapMessageSizes> GetMessageSizes();

    qint32 lastStatus() const { return LastStatus; }
    // Failures go to `reports` instead of boxes (nullptr: boxes). Not owned.
    void setReports(SessionReports *reports) { m_reports = reports; }
    const ListingOutcome &listingOutcome() const { return m_listing; }

signals:
    void MailExtractListing(const QString &From, const QString &FromName, const QString &FromAddress,
                            const QString &Subject, const QString &ReceivedDate, const QString &PlainTextBody,
                            const QString &HTMLTextBody, qint32 uID);
    void ScrapProgress(qint32 percent);

private:
    void abortCheck(qint32 &abort) override;
    void percentDone(qint32 percent) override;
    void bindEvents();
    void WriteErrorLog();
    // Counts `count` messages as not listed for `failure`, unless the user
    // stopped or there was no such message.
    void noteNotListed(qint64 count, const ImapFailure &failure);

    qint32 LastStatus = 0;
    SessionReports *m_reports = nullptr;
    SessionStep m_step = SessionStep::Connect; // what GetLastError reports on
    ListingOutcome m_listing;
    // errorlog.txt, opened at the first entry: it is written once per message.
    std::unique_ptr<QFile> m_errorLog;
    qint64 m_errorLogSecond = -1; // the time written, formatted once a second
    QByteArray m_errorLogTime;
};

// The date text of a listed message: "yyyy-MM-dd HH:mm:ss" in local time, or
// "yyyy-MM-dd" at exactly midnight; "" for no date. parseReceivedDate reads it back.
QString formatReceivedDate(const QDateTime &date);
QDateTime parseReceivedDate(const QString &text);
