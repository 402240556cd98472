#pragma once

#include <memory>

#include <QCursor>
#include <QMainWindow>

#include "mainwindow/listingrules.h"
#include "mainwindow/mailrecord.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class ImapClient;
class MessageList;
class ProgressDisplay;
class clsImapSession;

// The main window: the program itself. Handlers keep the names the rest of
// the program and its documentation use (control_event).
class Form1 : public QMainWindow
{
    Q_OBJECT

public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // Window state, in the order the window declares it.
    QString CharactersFilter;
    QString LabelFilter;
    std::shared_ptr<ImapClient> ImapComponent;
    std::shared_ptr<clsImapSession> oSession;
    bool TextCheckApplied = false;

    MailRecordStore MailRecords;
    bool SaveStopRequested = false;

    // Restores the saved state, prepares the list, creates the IMAP client and
    // connects when autoconnect is on. Runs once, before the window is shown.
    void Form_Load();

    void UpdateCounters(bool Reset);
    qint32 CountCheckedItems();
    void SortListByDate();

    // Busy (hourglass) pointer on this window.
    void setBusy(bool busy);
    bool isBusy() const;
    void setStatusLine(const QString &text);
    QString statusLine() const;
    // The mailbox the listing commands list: the label filter, else the
    // first selected folder option.
    QString folderName() const;
    // A new session configured for the window's server and login boxes.
    std::shared_ptr<clsImapSession> newSession() const;

    // Controls, by their object names.
    QGroupBox *Frame5, *Frame2, *Frame6, *Frame3, *Frame1;
    QLabel *lblLabels0, *lblLabels1;
    QLineEdit *Text1, *Text2, *Text3;
    QCheckBox *Check1, *Check2;
    QPushButton *PushButton5, *PushButton8;
    QRadioButton *Option3, *Option4, *Option5, *Option6, *Option7, *Option8, *Option9, *Option10;
    QPushButton *PushButton15, *PushButton14, *PushButton17, *PushButton16, *PushButton13, *PushButton18;
    QLabel *Label3, *Label4;
    QPushButton *PushButton10, *PushButton2, *PushButton12;
    MessageList *ListView1;
    QLabel *Label1, *Label2;
    QPushButton *PushButton4, *PushButton6, *PushButton9, *PushButton11, *PushButton3;
    QRadioButton *Option1, *Option2;
    QPushButton *PushButton1, *PushButton7;
    QProgressBar *ProgressBar1;

    QRadioButton *folderOption(int number) const; // 3..10

public slots:
    // "1. Connect" / "Disconnect"
    void PushButton5_Click();
    // "Help"
    void PushButton8_Click();
    // "2a. Get All Emails" / "Stop"
    void PushButton10_Click();
    // "2b. Get Some Emails" / "Stop"
    void PushButton2_Click();
    // "Show List In Larger View"
    void PushButton12_Click();
    // "Check All"
    void PushButton4_Click();
    // "Uncheck All"
    void PushButton6_Click();
    // "Check Emails Containing..."
    void PushButton9_Click();
    // "Check Emails Not Containing..."
    void PushButton11_Click();
    // "Clear List"
    void PushButton3_Click();
    // "3. Start Downloading" / "Stop Downloading"
    void PushButton7_Click();
    // "..." (browse for the save folder)
    void PushButton1_Click();
    // "Filter By Label"
    void PushButton13_Click();
    // "Filter By Characters"
    void PushButton14_Click();
    // "?" next to "Filter By Characters"
    void PushButton15_Click();
    // "?" next to "Filter By Label"
    void PushButton16_Click();
    // "Clear Filter" of the character filter
    void PushButton17_Click();
    // "Clear Filter" of the label filter
    void PushButton18_Click();

    // A row's check box was toggled by the user.
    void ListView1_ItemCheck(int position);

    // One listed message arrived from the session.
    void oSession_MailExtractListing(const QString &From, const QString &FromName, const QString &FromAddress,
                                     const QString &Subject, const QString &ReceivedDate,
                                     const QString &PlainTextBody, const QString &HTMLTextBody, qint32 uID);
    // Progress of the message being fetched.
    void oSession_ScrapProgress(qint32 percent);

    // User name typed
    void Text1_Change();
    // Password typed
    void Text2_Change();
    // Save folder typed
    void Text3_Change();
    // "Remember me"
    void Check1_Click();
    // "Autoconnect when software loads"
    void Check2_Click();
    // "Save Each Email To Separate Text Files"
    void Option1_Click();
    // "Save All Emails To One Text File"
    void Option2_Click();
    // Any folder option ("Inbox" ... "Important")
    void OptionFolder_Click();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void connectHandlers();
    void watchPointer(QWidget *widget);
    void selectFolderOption(QRadioButton *option, bool selected);
    // Runs `session`'s listing with the window's handlers connected.
    void runListing(const std::shared_ptr<clsImapSession> &session, const QString &folder);
    // Shows the range dialog for `session`; true when the user confirmed a valid range.
    bool askRange(const std::shared_ptr<clsImapSession> &session, qint32 maxMessage);
    void checkByText(bool containing, const char *procedure);
    // Brings the progress line and the rows shown up to date at once.
    void showPendingProgress();

    ProgressDisplay *m_progress = nullptr;
    QCursor m_handPointer;
    bool m_hasHandPointer = false;
};

// Twips (1/1440 inch) to device-independent pixels.
constexpr int twips(int value)
{
    return value / 15;
}
