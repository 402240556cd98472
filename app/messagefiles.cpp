#include "app/messagefiles.h"

#include <optional>

#include "app/clock.h"
#include "app/errortrap.h"
#include "app/filehelpers.h"
#include "app/textfilewriter.h"

namespace {

const QString kLineEnd = QStringLiteral("\r\n");
const QString kSuffix = QStringLiteral(".txt");

// Runs one step; a failure is recorded under that step and the caller goes
// on with the next one.
template <class Step>
bool attempt(SaveOutcome &outcome, SaveStep step, Step &&run)
{
    try {
        run();
        return true;
    } catch (...) {
        outcome.failures.push_back({step, describeFailure(std::current_exception())});
        return false;
    }
}

// SafeFileName counts in 16 bits. A name of any length is filtered in pieces
// it takes, and only as far as the characters the shortened name keeps: the
// same result as filtering it whole, for subjects of any length.
QString safeNameOfAnyLength(const QString &name)
{
    QString kept;
    for (qsizetype from = 0; from < name.size() && kept.size() < kLongestFileName; from += kLongestFilteredText)
        kept += SafeFileName(name.mid(from, kLongestFilteredText));
    return kept;
}

// The name built from the counter, the date and the subject is only ever a
// plain name in the folder; if filtering it failed, it could still hold
// separators, and it must not be written anywhere then.
QString pathInFolder(const QString &folder, const QString &fileName)
{
    const QString stem = fileName.endsWith(kSuffix) ? fileName.chopped(kSuffix.size()) : QString();
    if (stem.isEmpty() || SafeFileName(stem) != stem)
        throw AppError(QStringLiteral("Bad file name or number"));
    return folder + QLatin1Char('/') + fileName;
}

} // namespace

QString MessageBlock(const MessageTexts &message)
{
    return QStringLiteral("From: ") + message.From + kLineEnd + QStringLiteral("Subject: ") + message.Subject
        + kLineEnd + QStringLiteral("Date: ") + message.ReceivedDate + kLineEnd + kLineEnd + message.PlainTextBody;
}

QString messageSeparator()
{
    return kLineEnd + kLineEnd + QString(58, QLatin1Char('=')) + kLineEnd + kLineEnd;
}

QString messageFileName(SaveOutcome &outcome, qint32 counter, const QString &date, const QString *subject)
{
    QString fileName;
    if (subject)
        attempt(outcome, SaveStep::Name, [&] {
            fileName = QString::number(counter) + QStringLiteral(" - ") + date + QLatin1Char(' ') + *subject;
        });
    attempt(outcome, SaveStep::Filter, [&] { fileName = safeNameOfAnyLength(fileName); });
    attempt(outcome, SaveStep::Shorten, [&] { fileName = ShortenFileName(fileName); });
    attempt(outcome, SaveStep::Extension, [&] { fileName += kSuffix; });
    return fileName;
}

MessageFiles::MessageFiles(const QString &folder, SaveMethod method)
    : m_folder(folder)
    , m_method(method)
{
}

MessageFiles::~MessageFiles() = default;

SaveOutcome MessageFiles::begin()
{
    SaveOutcome outcome;
    m_fileCounter = 1;
    if (m_method != SaveMethod::OneFile)
        return outcome;
    outcome.path = m_folder + QStringLiteral("/Emails.txt");
    m_oneFile = std::make_unique<TextFileWriter>();
    attempt(outcome, SaveStep::Open, [&] { m_oneFile->open(outcome.path); });
    return outcome;
}

SaveOutcome MessageFiles::save(const MessageSource &message)
{
    SaveOutcome outcome =
        m_method == SaveMethod::OneFile ? appendToOneFile(message) : saveSeparateFile(message);
    ++(outcome.written ? m_saved : m_failed);
    return outcome;
}

SaveOutcome MessageFiles::saveSeparateFile(const MessageSource &message)
{
    SaveOutcome outcome;
    std::optional<MessageTexts> texts;
    QString missing; // why the message's texts could not be had
    QString date;
    QString fileName;
    attempt(outcome, SaveStep::Date, [&] { date = currentLocalDate().toString(QStringLiteral("yyyy-MM-dd")); });
    attempt(outcome, SaveStep::Name, [&] {
        try {
            texts = message();
        } catch (...) {
            missing = describeFailure(std::current_exception());
            throw;
        }
    });
    fileName = messageFileName(outcome, m_fileCounter, date, texts ? &texts->Subject : nullptr);
    attempt(outcome, SaveStep::Path, [&] { outcome.path = pathInFolder(m_folder, fileName); });
    TextFileWriter file;
    attempt(outcome, SaveStep::Open, [&] { file.open(outcome.path); });
    bool written = attempt(outcome, SaveStep::Write, [&] {
        if (!texts)
            throw AppError(missing);
        file.write(MessageBlock(*texts));
    });
    // A file whose message never went in must not be left looking saved.
    const bool closed = attempt(outcome, SaveStep::Close, [&] { written ? file.close() : file.discard(); });
    outcome.written = written && closed;
    ++m_fileCounter;
    return outcome;
}

SaveOutcome MessageFiles::appendToOneFile(const MessageSource &message)
{
    SaveOutcome outcome;
    outcome.path = m_folder + QStringLiteral("/Emails.txt");
    if (!m_oneFile)
        m_oneFile = std::make_unique<TextFileWriter>();
    outcome.written =
        attempt(outcome, SaveStep::Write, [&] { m_oneFile->write(MessageBlock(message()) + messageSeparator()); });
    return outcome;
}

SaveOutcome MessageFiles::finish()
{
    SaveOutcome outcome;
    if (m_method != SaveMethod::OneFile || !m_oneFile)
        return outcome;
    outcome.path = m_folder + QStringLiteral("/Emails.txt");
    // A failed write may have left part of a block in the file: then it is
    // not put in place, and none of its messages counts as saved. Each other
    // message went in whole with its separator, so a stopped run keeps the
    // messages written before the stop, as separate files do.
    const bool whole = m_oneFile->isOpen() && !m_oneFile->writeFailed();
    outcome.written = attempt(outcome, SaveStep::Close, [&] { m_oneFile->close(); }) && whole;
    m_oneFile.reset();
    if (!outcome.written) {
        m_failed += m_saved;
        m_saved = 0;
    }
    return outcome;
}
