#include "mainwindow/form1.h"

#include <optional>

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>

#include "app/boxes.h"
#include "app/errortrap.h"
#include "app/filehelpers.h"
#include "app/messagefiles.h"
#include "app/settings.h"
#include "mainwindow/messagelist.h"

namespace {

const QString kStartCaption = QStringLiteral("3. Start Downloading");
const QString kStopCaption = QStringLiteral("Stop Downloading");

// Windows whose save is running. The walk lets window events through so that
// "Stop Downloading" can arrive; a start click that arrives while a run is
// counting or stopping must not begin a second run inside the first.
QSet<const Form1 *> &runningSaves()
{
    static QSet<const Form1 *> windows;
    return windows;
}

// The controls that change the list, its order, its marks or the connection.
// The walk reads rows by position while events run, so they are switched off
// for the run: a row removed, re-sorted or unchecked mid-run would be lost or
// saved twice. "Stop Downloading" stays on.
QList<QWidget *> controlsHeldDuringSave(Form1 &window)
{
    return {window.PushButton5, window.PushButton10, window.PushButton2, window.PushButton12,
            window.PushButton4, window.PushButton6,  window.PushButton9, window.PushButton11,
            window.PushButton3, window.ListView1};
}

class RunningSave
{
public:
    explicit RunningSave(Form1 &window)
        : m_window(&window)
        , m_held(controlsHeldDuringSave(window))
    {
        runningSaves().insert(m_window);
        for (QWidget *control : m_held) {
            m_wasEnabled << control->isEnabled();
            control->setEnabled(false);
        }
    }
    ~RunningSave()
    {
        for (int i = 0; i < m_held.size(); ++i)
            m_held[i]->setEnabled(m_wasEnabled[i]);
        runningSaves().remove(m_window);
    }
    RunningSave(const RunningSave &) = delete;
    RunningSave &operator=(const RunningSave &) = delete;

private:
    const Form1 *m_window;
    QList<QWidget *> m_held;
    QList<bool> m_wasEnabled;
};

// The record that belongs to the row at `position`, wherever sorting put it.
MessageTexts textsOfRow(const Form1 &window, int position)
{
    std::optional<MailRecord> record = window.MailRecords.find(window.ListView1->recordOf(position));
    if (!record)
        throw AppError(QStringLiteral("Subscript out of range"));
    return {std::move(record->From), std::move(record->Subject), std::move(record->ReceivedDate),
            std::move(record->PlainTextBody)};
}

// The statement each saving step is reported under.
int separateFileStatement(SaveStep step)
{
    switch (step) {
    case SaveStep::Date: return 134;
    case SaveStep::Name: return 136;
    case SaveStep::Filter: return 138;
    case SaveStep::Shorten: return 140;
    case SaveStep::Extension: return 142;
    case SaveStep::Path: return 144;
    case SaveStep::Open: return 146;
    case SaveStep::Write: return 148;
    case SaveStep::Close: return 150;
    }
    return 0;
}

int oneFileStatement(SaveStep step)
{
    switch (step) {
    case SaveStep::Open: return 158;
    case SaveStep::Close: return 170;
    default: return 166;
    }
}

void reportFailures(ErrorTrap &trap, const SaveOutcome &outcome, SaveMethod method)
{
    for (const SaveFailure &failure : outcome.failures) {
        trap.fail(method == SaveMethod::OneFile ? oneFileStatement(failure.step) : separateFileStatement(failure.step),
                  failure.reason);
    }
}

// Lets the window handle pending events (a "Stop Downloading" click among
// them) between two rows.
void letWindowEventsRun()
{
    QCoreApplication::processEvents();
}

void saveSeparateFiles(Form1 &window, ErrorTrap &trap, MessageFiles &files)
{
    trap.run(126, [&] { reportFailures(trap, files.begin(), files.method()); });
    const int rowCount = trap.value(128, [&] { return window.ListView1->rowCount(); }, 0);
    for (int position = 0; position < rowCount; ++position) {
        if (trap.test(130, [&] { return window.SaveStopRequested; }))
            break;
        // Rows a nested command removed while events ran are not there to save.
        if (position >= window.ListView1->rowCount())
            break;
        if (trap.test(132, [&] { return window.ListView1->isChecked(position); }))
            reportFailures(trap, files.save([&] { return textsOfRow(window, position); }), files.method());
        letWindowEventsRun();
    }
}

// The box that ends a run that was not stopped: "Done." only when every
// checked message was saved.
QString closingMessage(const MessageFiles &files)
{
    const int saved = files.savedCount();
    const int total = saved + files.failedCount();
    if (saved == total)
        return QStringLiteral("Done.");
    const QString reported =
        QStringLiteral("Each failure was reported in an \"Application Error\" box before this one.");
    if (files.method() == SaveMethod::OneFile && saved == 0) {
        return QStringLiteral("Emails.txt was not written: none of the %1 messages was saved, and an earlier "
                              "Emails.txt in the folder was left as it was. ")
                   .arg(total)
            + reported;
    }
    return QStringLiteral("%1 of %2 messages were saved. ").arg(saved).arg(total) + reported;
}

void saveOneFile(Form1 &window, ErrorTrap &trap, MessageFiles &files)
{
    trap.run(158, [&] { reportFailures(trap, files.begin(), files.method()); });
    const int rowCount = trap.value(160, [&] { return window.ListView1->rowCount(); }, 0);
    for (int position = 0; position < rowCount; ++position) {
        if (trap.test(162, [&] { return window.SaveStopRequested; }))
            break;
        if (position >= window.ListView1->rowCount())
            break;
        if (trap.test(164, [&] { return window.ListView1->isChecked(position); }))
            reportFailures(trap, files.save([&] { return textsOfRow(window, position); }), files.method());
        letWindowEventsRun();
    }
    trap.run(170, [&] { reportFailures(trap, files.finish(), files.method()); });
}

} // namespace

// "3. Start Downloading" / "Stop Downloading"
void Form1::PushButton7_Click()
{
    ErrorTrap trap("Form1", "PushButton7_Click");
    if (trap.test(100, [&] { return ListView1->rowCount() == 0; }))
        return;
    const QString folder = Text3->text();
    // A stop click reaches the stop branch whatever the folder box now holds.
    const bool saving = runningSaves().contains(this);
    if (!saving && trap.test(102, [&] { return !FolderExists(folder); })) {
        trap.run(178, [&] { showMessage(QStringLiteral("Folder does not exist. Please select another folder.")); });
        return;
    }
    if (trap.test(104, [&] { return PushButton7->text() == kStopCaption; })) {
        trap.run(106, [&] { SaveStopRequested = true; });
        trap.run(110, [&] { setBusy(false); });
        trap.run(112, [&] { PushButton7->setText(kStartCaption); });
        return;
    }
    if (saving)
        return;
    RunningSave running(*this);

    const qint32 checked = trap.value(114, [&] { return CountCheckedItems(); }, qint32(0));
    if (trap.test(116, [&] { return checked == 0; })) {
        trap.run(118, [&] { showMessage(QStringLiteral("Please select at least one message.")); });
        return;
    }
    SaveStopRequested = false;
    trap.run(120, [&] { PushButton7->setText(kStopCaption); });
    trap.run(122, [&] { setBusy(true); });
    std::optional<MessageFiles> files;
    if (trap.test(124, [&] { return Option1->isChecked(); })) {
        saveSeparateFiles(*this, trap, files.emplace(folder, SaveMethod::SeparateFiles));
    } else if (trap.test(156, [&] { return Option2->isChecked(); })) {
        saveOneFile(*this, trap, files.emplace(folder, SaveMethod::OneFile));
    }
    trap.run(172, [&] { setBusy(false); });
    if (trap.test(174, [&] { return !SaveStopRequested; }))
        trap.run(174, [&] { showMessage(files ? closingMessage(*files) : QStringLiteral("Done.")); });
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
