#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QString>

class TextFileWriter;

// The texts of one message that go into its saved block.
struct MessageTexts
{
    QString From;
    QString Subject;
    QString ReceivedDate;
    QString PlainTextBody;
};

// Hands over one message's texts. It may throw AppError (a row whose record
// is gone); that counts as the message's failure at the step that needed it.
using MessageSource = std::function<MessageTexts()>;

enum class SaveMethod
{
    SeparateFiles, // one file per message, named from counter, date and subject
    OneFile,       // every message in Emails.txt, each followed by the separator
};

// The steps of saving, in the order they run. A failing step is recorded and
// the next one still runs, so each failure is told under the step where it
// happened and a caller can report it as its own statement.
enum class SaveStep
{
    Date,      // today's date for the name
    Name,      // counter, date and subject joined
    Filter,    // only the kept file-name characters
    Shorten,   // cut to 200 characters
    Extension, // ".txt" appended
    Path,      // the name placed in the folder
    Open,
    Write,
    Close, // the file put in place
};

struct SaveFailure
{
    SaveStep step;
    QString reason; // the platform's description
};

// What became of one call of MessageFiles.
struct SaveOutcome
{
    bool written = false; // the message went whole into its file
    QString path;         // the file written, or meant to be
    std::vector<SaveFailure> failures;
};

// The block written for one message: From, Subject and Date lines, an empty
// line, then the body as it is. CR LF line ends, none after the body.
QString MessageBlock(const MessageTexts &message);
// What follows each block in Emails.txt.
QString messageSeparator();

// The name steps of one-file-per-message saving (counter, date and subject
// joined, filtered, shortened, ".txt"), each failure recorded in `outcome`
// under its step. Without a subject (the message's texts could not be had)
// the joining step is left out. A front that writes a message before it
// knows its counter names the file afterwards with this.
QString messageFileName(SaveOutcome &outcome, qint32 counter, const QString &date, const QString *subject);

// Saves messages into one folder, one by one, for any front (the window, a
// command line): the same names, bytes and failure steps for every caller.
class MessageFiles
{
public:
    MessageFiles(const QString &folder, SaveMethod method);
    ~MessageFiles(); // an Emails.txt not finished is discarded
    MessageFiles(const MessageFiles &) = delete;
    MessageFiles &operator=(const MessageFiles &) = delete;

    // Before the first message: opens Emails.txt in one-file mode.
    SaveOutcome begin();
    // One message, in list order. Separate files: the counter advances on
    // every call, whatever became of the message.
    SaveOutcome save(const MessageSource &message);
    // After the last message (or a stop): puts Emails.txt in place. It is
    // not written when it could not be opened or a write into it failed (an
    // older Emails.txt then stays as it was); the outcome says so.
    SaveOutcome finish();

    SaveMethod method() const { return m_method; }
    // Messages that are in files put in place; in one-file mode final only
    // after finish(), which moves every message to failed when Emails.txt
    // was not written.
    int savedCount() const { return m_saved; }
    int failedCount() const { return m_failed; }

private:
    SaveOutcome saveSeparateFile(const MessageSource &message);
    SaveOutcome appendToOneFile(const MessageSource &message);

    QString m_folder;
    SaveMethod m_method;
    std::unique_ptr<TextFileWriter> m_oneFile;
    // 32-bit: a 16-bit counter would stop at 32,767 and give every later
    // message the same name, each overwriting the last.
    qint32 m_fileCounter = 1;
    int m_saved = 0;
    int m_failed = 0;
};
