#include "export/exportrun.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <numeric>

#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentRun>

#include "app/clock.h"
#include "app/commandline.h"
#include "app/errortrap.h"
#include "app/programstate.h"
#include "app/textfilewriter.h"
#include "export/password.h"
#include "export/progressline.h"
#include "mainwindow/listingrules.h"
#include "session/clsimapsession.h"

namespace {

// Gmail's daily IMAP download limit, as it states it.
constexpr qint64 kDailyLimitBytes = 2500LL * 1000 * 1000;
// Messages written ahead of the listing at most; bounds the texts held.
constexpr qint64 kStagedAhead = 256;
// Writers at once: each file is synced, and the disk takes syncs in parallel.
constexpr int kWriters = 8;
constexpr int kNotWrittenShown = 5;

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void noteInterrupt(int)
{
    g_interrupted = 1;
}

// Ctrl-C and SIGTERM end the export after the current message; a second
// Ctrl-C ends it at once (files already named stay whole either way).
void catchInterrupts()
{
    struct sigaction action = {};
    action.sa_handler = noteInterrupt;
    action.sa_flags = SA_RESETHAND; // no SA_RESTART: a question on the terminal ends too
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

QString stageMessage(const QString &path, const MessageTexts &texts)
{
    try {
        TextFileWriter file;
        file.open(path);
        file.write(MessageBlock(texts));
        file.close();
        return QString();
    } catch (...) {
        return describeFailure(std::current_exception());
    }
}

} // namespace

QString systemFolderMailbox(const QString &caption)
{
    const ProgramState &state = program();
    for (size_t entry = 1; entry < state.SpecialFolderNames.size(); ++entry) {
        if (!state.SpecialFolderMailboxes[entry].isEmpty()
            && state.SpecialFolderNames[entry].compare(caption, Qt::CaseInsensitive) == 0)
            return state.SpecialFolderMailboxes[entry];
    }
    return QString();
}

ExportRun::ExportRun(const ExportOptions &options)
    : m_options(options)
{
    m_writers.setMaxThreadCount(kWriters);
    m_interruptCheck.setInterval(100);
    connect(&m_interruptCheck, &QTimer::timeout, this, &ExportRun::checkInterrupt);
}

ExportRun::~ExportRun()
{
    m_writers.waitForDone();
    if (m_session)
        m_session->setReports(nullptr);
}

void ExportRun::note(const QString &text) const
{
    if (!m_options.quiet)
        printText(stderr, text + QLatin1Char('\n'));
}

void ExportRun::checkInterrupt()
{
    if (!g_interrupted || m_interrupted)
        return;
    m_interrupted = true;
    if (m_session)
        m_session->AbortProcess = true;
    if (m_progress)
        m_progress->finish();
    printText(stderr, QStringLiteral("Interrupted: stopping after the current message.\n"));
}

void ExportRun::operationFailed(SessionStep step, const QString &reason)
{
    m_failed = true;
    m_failedStep = step;
    m_failureReason = reason;
}

void ExportRun::listingConnectFailed()
{
    m_failed = true;
}

int ExportRun::run(const QString &password)
{
    m_startedMs = QDateTime::currentMSecsSinceEpoch();
    g_interrupted = 0;
    catchInterrupts();
    m_interruptCheck.start();
    int status = prepareFolder();
    QString mailbox;
    qint32 count = 0;
    if (status == ExportSucceeded)
        status = connectAndOpen(password, mailbox, count);
    if (status == ExportSucceeded && count > 0)
        status = chooseRange(count);
    if (status == ExportSucceeded && count > 0)
        status = checkSizes(mailbox);
    if (status == ExportSucceeded && count > 0)
        status = list(mailbox);
    writeFiles();
    // What is still in staging did not get its name: it goes.
    m_staging.reset();
    checkInterrupt();
    if (status == ExportSucceeded)
        status = finalStatus();
    if (m_interrupted)
        status = ExportInterrupted;
    printSummary();
    return status;
}

int ExportRun::prepareFolder()
{
    // Before any download: a folder that cannot take a file stops the export here.
    const QString folder = QDir(m_options.outFolder).absolutePath();
    m_options.outFolder = folder;
    if (!QDir().mkpath(folder)) {
        printText(stderr, QStringLiteral("Cannot make the folder %1.\n").arg(folder));
        return ExportNotAllWritten;
    }
    m_staging = std::make_unique<QTemporaryDir>(folder + QStringLiteral("/.corvina-export-XXXXXX"));
    if (!m_staging->isValid()) {
        printText(stderr, QStringLiteral("Cannot write in the folder %1: %2\n").arg(folder, m_staging->errorString()));
        m_staging.reset();
        return ExportNotAllWritten;
    }
    return ExportSucceeded;
}

int ExportRun::connectAndOpen(const QString &password, QString &mailbox, qint32 &count)
{
    ImapClientOptions clientOptions;
    clientOptions.extraCaFile = m_options.server.caFile;
    m_session = std::make_shared<clsImapSession>();
    m_session->setReports(this);
    m_session->ImapObject = std::shared_ptr<ImapClient>(createImapClient(clientOptions));
    m_session->SSL = m_options.tls;
    m_session->PORT = m_options.server.port;
    m_session->IMAPServer = m_options.server.host;
    m_session->Username = m_options.user;
    m_session->Password = password;
    if (!m_session->Connect())
        return failureStatus();
    mailbox = resolveMailbox();
    if (mailbox.isEmpty())
        return m_failed ? failureStatus() : ExportMailboxNotFound;
    count = m_session->GetTotalMessage(mailbox);
    if (m_failed)
        return failureStatus();
    if (count == 0)
        note(QStringLiteral("The mailbox \"%1\" holds no messages.").arg(mailbox));
    return ExportSucceeded;
}

QString ExportRun::resolveMailbox()
{
    if (!m_options.mailbox.isEmpty())
        return m_options.mailbox;
    const QString caption = m_options.folderCaption;
    // The window's Inbox option opens "Inbox" as it stands.
    if (caption.compare(QLatin1String("Inbox"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("Inbox");
    std::optional<QStringList> mailboxes;
    try {
        mailboxes = m_session->EnumMailFolders();
    } catch (...) {
        operationFailed(SessionStep::List, describeFailure(std::current_exception()));
    }
    if (!mailboxes)
        return QString();
    const QString name = systemFolderMailbox(caption);
    if (name.isEmpty()) {
        QStringList captions;
        for (size_t entry = 1; entry < program().SpecialFolderNames.size(); ++entry) {
            if (!program().SpecialFolderMailboxes[entry].isEmpty())
                captions << program().SpecialFolderNames[entry];
        }
        printText(stderr, QStringLiteral("No system folder \"%1\" on this account. Its system folders: %2.\n")
                              .arg(caption, captions.isEmpty() ? QStringLiteral("none") : captions.join(", ")));
    }
    return name;
}

int ExportRun::chooseRange(qint32 count)
{
    m_first = 1;
    m_last = count;
    if (m_options.hasRange) {
        if (m_options.first > count) {
            printText(stderr, QStringLiteral("The range starts at %1, past the mailbox's last message (%2).\n")
                                  .arg(m_options.first)
                                  .arg(count));
            m_last = -1;
            return ExportUsage;
        }
        m_first = m_options.first;
        m_last = qMin<qint64>(m_options.last, count);
        if (m_last < m_options.last)
            note(QStringLiteral("The mailbox holds %1 messages: the range ends there.").arg(count));
    }
    m_session->CurrentLocation = qint32(m_first);
    m_session->MaxRecord = qint32(m_last);
    return ExportSucceeded;
}

int ExportRun::checkSizes(const QString &mailbox)
{
    const qint64 messages = m_last - m_first + 1;
    m_sizes = m_session->GetMessageSizes();
    if (m_interrupted)
        return ExportInterrupted;
    if (!m_sizes) {
        m_failed = false; // not asking the sizes stops nothing
        printText(stderr, QStringLiteral("Could not ask the sizes first (%1); going on.\n").arg(m_failureReason));
        m_progress = std::make_unique<ProgressLine>(ProgressLine::modeFor(stderr, m_options.quiet), messages, 0);
        return ExportSucceeded;
    }
    const qint64 total = m_sizes->total();
    note(QStringLiteral("\"%1\", messages %2 to %3: %4 messages, %5.")
             .arg(mailbox)
             .arg(m_first)
             .arg(m_last)
             .arg(m_sizes->bytes.size())
             .arg(ProgressLine::megabytes(total)));
    m_progress = std::make_unique<ProgressLine>(ProgressLine::modeFor(stderr, m_options.quiet), messages, total);
    if (total <= kDailyLimitBytes)
        return ExportSucceeded;
    printText(stderr, QStringLiteral("%1 is more than Gmail's daily IMAP download limit of 2,500 MB: Gmail may "
                                     "refuse further downloads for up to a day.\n")
                          .arg(ProgressLine::megabytes(total)));
    if (m_options.acceptLarge)
        return ExportSucceeded;
    if (askOnTerminal(QStringLiteral("Download anyway? [y/N] ")))
        return ExportSucceeded;
    checkInterrupt();
    if (m_interrupted)
        return ExportInterrupted;
    printText(stderr, QStringLiteral("Nothing downloaded. --accept-large goes on without asking.\n"));
    return ExportDeclined;
}

int ExportRun::list(const QString &mailbox)
{
    m_listingStarted = true;
    connect(m_session.get(), &clsImapSession::MailExtractListing, this, &ExportRun::onListed);
    // The session logs in afresh and opens the mailbox again, as for the window.
    m_session->StartMailExtraction(mailbox);
    if (m_progress)
        m_progress->finish();
    const ListingOutcome &outcome = m_session->listingOutcome();
    m_notListed = outcome.notListed;
    m_firstNotListedReason = outcome.firstFailure;
    // The listing's own login failed: nothing of the range was tried.
    if (m_failed && m_listed == 0 && !m_interrupted)
        return failureStatus();
    return ExportSucceeded;
}

void ExportRun::onListed(const QString &From, const QString &FromName, const QString &FromAddress,
                         const QString &Subject, const QString &ReceivedDate, const QString &PlainTextBody,
                         const QString &, qint32 uID)
{
    ++m_listed;
    const qint64 size = m_sizes ? m_sizes->bytes.value(uID) : 0;
    m_bytesDone += size;
    m_listedBytes += size;
    if (m_options.filter.isEmpty()
        || passesCharacterFilter(m_options.filter, From, FromName, FromAddress, Subject, ReceivedDate,
                                 PlainTextBody)) {
        Taken &taken = m_taken.emplace_back();
        taken.key = recDateKey(ReceivedDate).toLatin1();
        taken.subject = Subject;
        const MessageTexts texts{From, Subject, ReceivedDate, PlainTextBody};
        if (m_options.oneFile)
            taken.texts = texts;
        else
            stage(taken, texts);
    }
    showProgress();
}

void ExportRun::stage(Taken &taken, const MessageTexts &texts)
{
    const QString path = m_staging->filePath(QString::number(m_taken.size()));
    taken.staged = QtConcurrent::run(&m_writers, stageMessage, path, texts);
    // The writers keep at most this many messages in hand.
    const size_t ahead = size_t(kStagedAhead);
    if (m_taken.size() > ahead)
        m_taken[m_taken.size() - 1 - ahead].staged.waitForFinished();
}

void ExportRun::showProgress()
{
    if (m_progress)
        m_progress->update(m_session->CurrentLocation - m_first + 1, m_bytesDone);
}

void ExportRun::writeFiles()
{
    m_writers.waitForDone();
    if (m_taken.empty() || !m_staging)
        return;
    // The list's order: newest day first by the date key as text, equal keys
    // in the order they arrived.
    std::vector<size_t> order(m_taken.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return m_taken[b].key < m_taken[a].key; });
    if (m_options.oneFile)
        writeOneFile(order);
    else
        placeSeparateFiles(order);
}

void ExportRun::placeSeparateFiles(const std::vector<size_t> &order)
{
    const QString date = currentLocalDate().toString(QStringLiteral("yyyy-MM-dd"));
    qint32 counter = 1;
    for (const size_t index : order) {
        Taken &taken = m_taken[index];
        SaveOutcome outcome;
        const QString name = messageFileName(outcome, counter++, date, &taken.subject);
        QString failure = taken.staged.result();
        if (failure.isEmpty() && !outcome.failures.empty())
            failure = outcome.failures.front().reason;
        const QByteArray from = QFile::encodeName(m_staging->filePath(QString::number(index + 1)));
        const QByteArray to = QFile::encodeName(m_options.outFolder + QLatin1Char('/') + name);
        // A rename replaces a file of the same name whole, as the window's save does.
        if (failure.isEmpty() && std::rename(from.constData(), to.constData()) != 0)
            failure = QString::fromLocal8Bit(std::strerror(errno));
        if (failure.isEmpty())
            ++m_saved;
        else
            noteNotWritten(name, failure);
    }
    // The new names are kept too, not only the synced texts.
    const int folder = ::open(QFile::encodeName(m_options.outFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

void ExportRun::writeOneFile(const std::vector<size_t> &order)
{
    MessageFiles files(m_options.outFolder, SaveMethod::OneFile);
    SaveOutcome begun = files.begin();
    std::vector<SaveFailure> failures = begun.failures;
    for (const size_t index : order) {
        const SaveOutcome saved = files.save([&] { return m_taken[index].texts; });
        failures.insert(failures.end(), saved.failures.begin(), saved.failures.end());
    }
    const SaveOutcome finished = files.finish();
    failures.insert(failures.end(), finished.failures.begin(), finished.failures.end());
    // One file: a message that did not go in keeps the whole file from its place.
    if (failures.empty() && finished.written) {
        m_saved = qint64(order.size());
        return;
    }
    m_notWritten = qint64(order.size());
    printText(stderr, QStringLiteral("Emails.txt was not written: %1\n")
                          .arg(failures.empty() ? QStringLiteral("unknown failure") : failures.front().reason));
}

void ExportRun::noteNotWritten(const QString &name, const QString &reason)
{
    if (++m_notWritten <= kNotWrittenShown)
        printText(stderr, QStringLiteral("Not written: %1: %2\n").arg(name, reason));
}

int ExportRun::failureStatus() const
{
    if (m_interrupted)
        return ExportInterrupted;
    switch (m_failedStep) {
    case SessionStep::Connect:
    case SessionStep::Identify:
        printText(stderr, QStringLiteral("No connection to %1: %2\n").arg(m_options.server.host, m_failureReason));
        return ExportNoConnection;
    case SessionStep::Login:
        printText(stderr, QStringLiteral("The server refused the login: %1\n").arg(m_failureReason));
        return ExportLoginRefused;
    case SessionStep::Select:
    case SessionStep::List:
        printText(stderr, QStringLiteral("The mailbox could not be opened: %1\n").arg(m_failureReason));
        return ExportMailboxNotFound;
    case SessionStep::Sizes:
        break;
    }
    printText(stderr, m_failureReason + QLatin1Char('\n'));
    return ExportFailed;
}

int ExportRun::finalStatus() const
{
    const qint64 range = qMax<qint64>(0, m_last - m_first + 1);
    if (m_listed < range && !m_interrupted) {
        printText(stderr, QStringLiteral("%1 of %2 messages were listed; the first failure: %3\n")
                              .arg(m_listed)
                              .arg(range)
                              .arg(m_firstNotListedReason.isEmpty() ? QStringLiteral("(no reason given)")
                                                                    : m_firstNotListedReason));
    }
    if (m_notWritten > 0)
        return ExportNotAllWritten;
    if (m_notListed > 0 || m_listed < range)
        return ExportNotAllListed;
    return ExportSucceeded;
}

void ExportRun::printSummary() const
{
    const qint64 range = qMax<qint64>(0, m_last - m_first + 1);
    QString line = QStringLiteral("listed %1 of %2").arg(m_listed).arg(range);
    if (!m_options.filter.isEmpty())
        line += QStringLiteral(", matched %1").arg(m_taken.size());
    line += QStringLiteral(", saved %1, not listed %2, not written %3, %4 s, %5")
                .arg(m_saved)
                .arg(range - m_listed)
                .arg(m_notWritten)
                .arg(double(QDateTime::currentMSecsSinceEpoch() - m_startedMs) / 1000.0, 0, 'f', 1)
                .arg(ProgressLine::megabytes(m_listedBytes));
    if (m_interrupted)
        line += QStringLiteral(", interrupted");
    printText(stdout, line + QLatin1Char('\n'));
}

int runExportCommand(const QStringList &arguments)
{
    const ExportCommandLine commandLine = parseExportCommandLine(arguments);
    if (commandLine.exitNow)
        return commandLine.exitCode;
    const PasswordReading password =
        readPassword(commandLine.options.passwordCommand, commandLine.options.user);
    if (!password.found) {
        printText(stderr, password.error + QLatin1Char('\n'));
        return ExportUsage;
    }
    try {
        ExportRun run(commandLine.options);
        return run.run(password.password);
    } catch (...) {
        // Not expected of any step; still told, and never taken for success.
        printText(stderr, describeFailure(std::current_exception()) + QLatin1Char('\n'));
        return ExportFailed;
    }
}
