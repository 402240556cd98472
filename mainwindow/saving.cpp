#include "mainwindow/form1.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>

#include "app/boxes.h"
#include "app/clock.h"
#include "app/errortrap.h"
#include "app/filehelpers.h"
#include "app/settings.h"
#include "app/textfilewriter.h"
#include "mainwindow/messagelist.h"

namespace {

const QString kStartCaption = QStringLiteral("3. Start Downloading");
const QString kStopCaption = QStringLiteral("Stop Downloading");
const QString kLineEnd = QStringLiteral("\r\n");

// Windows whose save is running. The walk lets window events through so that
// "Stop Downloading" can arrive; a start click that arrives while a run is
// counting or stopping must not begin a second run inside the first.
QSet<const Form1 *> &runningSaves()
{
    static QSet<const Form1 *> windows;
    return windows;
}

class RunningSave
{
public:
    explicit RunningSave(const Form1 *window)
        : m_window(window)
    {
        runningSaves().insert(window);
    }
    ~RunningSave() { runningSaves().remove(m_window); }
    RunningSave(const RunningSave &) = delete;
    RunningSave &operator=(const RunningSave &) = delete;

private:
    const Form1 *m_window;
};

QString MessageBlock(const MailRecord &record)
{
    return QStringLiteral("From: ") + record.From + kLineEnd + QStringLiteral("Subject: ") + record.Subject + kLineEnd
        + QStringLiteral("Date: ") + record.ReceivedDate + kLineEnd + kLineEnd + record.PlainTextBody;
}

QString messageSeparator()
{
    return kLineEnd + kLineEnd + QString(58, QLatin1Char('=')) + kLineEnd + kLineEnd;
}

// The record that belongs to the row at `position`, wherever sorting put it.
MailRecord recordOfRow(const Form1 &window, int position)
{
    std::optional<MailRecord> record = window.MailRecords.find(window.ListView1->recordOf(position));
    if (!record)
        throw AppError(QStringLiteral("Subscript out of range"));
    return std::move(*record);
}

// The name built from the counter, the date and the subject is only ever a
// plain name in the folder; if filtering it failed, it could still hold
// separators, and it must not be written anywhere then.
QString pathInFolder(const QString &folder, const QString &fileName)
{
    const QString suffix = QStringLiteral(".txt");
    const QString stem = fileName.endsWith(suffix) ? fileName.chopped(suffix.size()) : QString();
    if (stem.isEmpty() || SafeFileName(stem) != stem)
        throw AppError(QStringLiteral("Bad file name or number"));
    return folder + QLatin1Char('/') + fileName;
}

// Lets the window handle pending events (a "Stop Downloading" click among
// them) between two rows.
void letWindowEventsRun()
{
    QCoreApplication::processEvents();
}

void saveMessageFile(const Form1 &window, ErrorTrap &trap, const QString &folder, int position, qint32 fileCounter)
{
    QString date;
    QString fileName;
    QString filePath;
    trap.run(134, [&] { date = currentLocalDate().toString(QStringLiteral("yyyy-MM-dd")); });
    trap.run(136, [&] {
        fileName = QString::number(fileCounter) + QStringLiteral(" - ") + date + QLatin1Char(' ')
            + recordOfRow(window, position).Subject;
    });
    trap.run(138, [&] { fileName = SafeFileName(fileName); });
    trap.run(140, [&] { fileName = ShortenFileName(fileName); });
    trap.run(142, [&] { fileName += QStringLiteral(".txt"); });
    trap.run(144, [&] { filePath = pathInFolder(folder, fileName); });
    TextFileWriter file;
    trap.run(146, [&] { file.open(filePath); });
    bool written = false;
    trap.run(148, [&] {
        file.write(MessageBlock(recordOfRow(window, position)));
        written = true;
    });
    // A file whose message never went in must not be left looking saved.
    trap.run(150, [&] { written ? file.close() : file.discard(); });
}

void saveSeparateFiles(Form1 &window, ErrorTrap &trap, const QString &folder)
{
    // Counter and positions are 32-bit: a 16-bit counter would stop at 32,767
    // and give every later message the same name, each overwriting the last.
    qint32 fileCounter = 0;
    trap.run(126, [&] { fileCounter = 1; });
    const int rowCount = trap.value(128, [&] { return window.ListView1->rowCount(); }, 0);
    for (int position = 0; position < rowCount; ++position) {
        if (trap.test(130, [&] { return window.SaveStopRequested; }))
            break;
        // Rows a nested command removed while events ran are not there to save.
        if (position >= window.ListView1->rowCount())
            break;
        if (trap.test(132, [&] { return window.ListView1->isChecked(position); })) {
            saveMessageFile(window, trap, folder, position, fileCounter);
            trap.run(152, [&] { ++fileCounter; });
        }
        letWindowEventsRun();
    }
}

void saveOneFile(Form1 &window, ErrorTrap &trap, const QString &folder)
{
    TextFileWriter file;
    trap.run(158, [&] { file.open(folder + QStringLiteral("/Emails.txt")); });
    const int rowCount = trap.value(160, [&] { return window.ListView1->rowCount(); }, 0);
    for (int position = 0; position < rowCount; ++position) {
        if (trap.test(162, [&] { return window.SaveStopRequested; }))
            break;
        if (position >= window.ListView1->rowCount())
            break;
        if (trap.test(164, [&] { return window.ListView1->isChecked(position); }))
            trap.run(166, [&] { file.write(MessageBlock(recordOfRow(window, position)) + messageSeparator()); });
        letWindowEventsRun();
    }
    // Each message went in whole with its separator, so a stopped run keeps
    // the messages written before the stop, as separate files do.
    trap.run(170, [&] { file.close(); });
}

} // namespace

// "3. Start Downloading" / "Stop Downloading"
void Form1::PushButton7_Click()
{
    ErrorTrap trap("Form1", "PushButton7_Click");
    if (trap.test(100, [&] { return ListView1->rowCount() == 0; }))
        return;
    const QString folder = Text3->text();
    if (trap.test(102, [&] { return !FolderExists(folder); })) {
        trap.run(178, [&] { showMessage(QStringLiteral("Folder does not exist. Please select another folder.")); });
        return;
    }
    if (trap.test(104, [&] { return PushButton7->text() == kStopCaption; })) {
        trap.run(106, [&] { SaveStopRequested = true; });
        trap.run(110, [&] { setBusy(false); });
        trap.run(112, [&] { PushButton7->setText(kStartCaption); });
        return;
    }
    if (runningSaves().contains(this))
        return;
    RunningSave running(this);

    const qint32 checked = trap.value(114, [&] { return CountCheckedItems(); }, qint32(0));
    if (trap.test(116, [&] { return checked == 0; })) {
        trap.run(118, [&] { showMessage(QStringLiteral("Please select at least one message.")); });
        return;
    }
    SaveStopRequested = false;
    trap.run(120, [&] { PushButton7->setText(kStopCaption); });
    trap.run(122, [&] { setBusy(true); });
    if (trap.test(124, [&] { return Option1->isChecked(); }))
        saveSeparateFiles(*this, trap, folder);
    else if (trap.test(156, [&] { return Option2->isChecked(); }))
        saveOneFile(*this, trap, folder);
    trap.run(172, [&] { setBusy(false); });
    if (trap.test(174, [&] { return !SaveStopRequested; }))
        trap.run(174, [&] { showMessage(QStringLiteral("Done.")); });
    trap.run(176, [&] { PushButton7->setText(kStartCaption); });
}

// "..." (browse for the save folder)
void Form1::PushButton1_Click()
{
    ErrorTrap trap("Form1", "PushButton1_Click");
    QString folder;
    trap.run(100, [&] { folder = BrowseForFolder(this, QStringLiteral("Select Folder"), QString()); });
    if (trap.test(102, [&] { return folder.isEmpty(); }))
        return;
    trap.run(104, [&] { Text3->setText(folder); });
    trap.run(106, [&] { Settings::write(SettingKey::Folder, folder); });
}
