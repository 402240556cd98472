#pragma once

#include <memory>
#include <vector>

#include <QByteArray>
#include <QFuture>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include "app/messagefiles.h"
#include "export/exportoptions.h"
#include "session/sessionreports.h"

class QTemporaryDir;
class ProgressLine;
class clsImapSession;
struct ImapMessageSizes;

// The server's own name of the system folder whose caption is `caption` (any
// letter case), as the last enumeration found it; "" for none.
QString systemFolderMailbox(const QString &caption);

// One "corvina export": the window's session lists the range and raises one
// event per message, the listing's filter picks the messages, and the saving
// unit's block, writer and file names make the same files the window saves
// for the same selection, in the same order (the list's: newest day first).
// Each message is written to a hidden staging folder while the listing goes
// on (several writers, each file synced), and takes its name once the order
// is known; a renamed file is always whole.
class ExportRun : public QObject, public SessionReports
{
    Q_OBJECT

public:
    explicit ExportRun(const ExportOptions &options);
    ~ExportRun() override;

    // Runs the whole export; the exit status.
    int run(const QString &password);

    void operationFailed(SessionStep step, const QString &reason) override;
    void listingConnectFailed() override;

private:
    // One message the filter took, in the order it arrived.
    struct Taken
    {
        QByteArray key;       // the list's date sort key
        QString subject;      // for its file name
        MessageTexts texts;   // one-file mode: written at the end
        QFuture<QString> staged; // separate files: "" once whole in staging, else why not
    };

    int prepareFolder();
    int connectAndOpen(const QString &password, QString &mailbox, qint32 &count);
    QString resolveMailbox();
    int chooseRange(qint32 count);
    int checkSizes(const QString &mailbox);
    int list(const QString &mailbox);
    void onListed(const QString &From, const QString &FromName, const QString &FromAddress, const QString &Subject,
                  const QString &ReceivedDate, const QString &PlainTextBody, const QString &HTMLTextBody, qint32 uID);
    void stage(Taken &taken, const MessageTexts &texts);
    void writeFiles();
    void placeSeparateFiles(const std::vector<size_t> &order);
    void writeOneFile(const std::vector<size_t> &order);
    void noteNotWritten(const QString &name, const QString &reason);
    void showProgress();
    int failureStatus() const;
    int finalStatus() const;
    void printSummary() const;
    void note(const QString &text) const;
    void checkInterrupt();

    ExportOptions m_options;
    std::shared_ptr<clsImapSession> m_session;
    std::unique_ptr<QTemporaryDir> m_staging;
    std::unique_ptr<ImapMessageSizes> m_sizes;
    std::unique_ptr<ProgressLine> m_progress;
    QThreadPool m_writers;
    QTimer m_interruptCheck;
    std::vector<Taken> m_taken;

    qint64 m_first = 0;
    qint64 m_last = -1;
    qint64 m_listed = 0;
    qint64 m_notListed = 0;
    qint64 m_bytesDone = 0;  // the sizes of the positions tried
    qint64 m_listedBytes = 0;
    qint64 m_saved = 0;
    qint64 m_notWritten = 0;
    bool m_failed = false;
    SessionStep m_failedStep = SessionStep::Connect;
    QString m_failureReason;
    QString m_firstNotListedReason;
    bool m_interrupted = false;
    bool m_listingStarted = false;
    qint64 m_startedMs = 0;
};

// "corvina export ...": parses the arguments, reads the password and runs the
// export; the exit status. Needs a QCoreApplication, no display.
int runExportCommand(const QStringList &arguments);
