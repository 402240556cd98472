#include "mainwindow/form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTimer>

#include "app/appearance.h"
#include "app/boxes.h"
#include "app/errortrap.h"
#include "app/paths.h"
#include "app/programstate.h"
#include "app/settings.h"
#include "mainwindow/messagelist.h"
#include "mainwindow/progressdisplay.h"
#include "session/clsimapsession.h"
#include "session/imapclient.h"

namespace {

const char kProductName[] = "Corvina";

template <class Widget>
Widget *place(Widget *widget, const char *name, int left, int top, int width, int height)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(twips(left), twips(top), twips(width), twips(height));
    return widget;
}

QGroupBox *frame(QWidget *parent, const char *name, const QString &caption, int l, int t, int w, int h)
{
    return place(new QGroupBox(caption, parent), name, l, t, w, h);
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption, int l, int t, int w, int h)
{
    auto *result = place(new QPushButton(caption, parent), name, l, t, w, h);
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPointSizeF(11.25);
    result->setFont(font);
    return result;
}

QLabel *label(QWidget *parent, const char *name, const QString &caption, int l, int t, int w, int h)
{
    return place(new QLabel(caption, parent), name, l, t, w, h);
}

QRadioButton *option(QWidget *parent, const char *name, const QString &caption, int l, int t, int w, int h)
{
    auto *result = place(new QRadioButton(caption, parent), name, l, t, w, h);
    // Exclusivity is kept by hand so that "no option selected" is reachable.
    result->setAutoExclusive(false);
    return result;
}

QCheckBox *checkBox(QWidget *parent, const char *name, const QString &caption, int l, int t, int w, int h)
{
    return place(new QCheckBox(caption, parent), name, l, t, w, h);
}

QLineEdit *textBox(QWidget *parent, const char *name, int l, int t, int w, int h)
{
    return place(new QLineEdit(parent), name, l, t, w, h);
}

const SettingKey kFolderKeys[] = {SettingKey::Option3, SettingKey::Option4, SettingKey::Option5,
                                  SettingKey::Option6, SettingKey::Option7, SettingKey::Option8,
                                  SettingKey::Option9, SettingKey::Option10};

const char *const kColumnHeaders[] = {"From", "From Name", "From Address", "Subject", "Received Date", "RecDate"};
const int kColumnWidths[] = {1300, 1300, 1600, 1600, 1600, 0};

} // namespace

Form1::Form1(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    createControls();
    connectHandlers();
    m_progress = new ProgressDisplay(
        [this](int percent, const QString &text) {
            ProgressBar1->setMaximum(100);
            ProgressBar1->setValue(percent);
            setStatusLine(text);
        },
        this);
}

Form1::~Form1()
{
    // Sessions unbind themselves from the client when they go.
    oSession.reset();
}

void Form1::createControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("Form1Client"));
    setCentralWidget(client);
    QFont windowFont(QStringLiteral("Arial"));
    windowFont.setBold(true);
    windowFont.setPointSizeF(9);
    setFont(windowFont);
    setFixedSize(twips(8040), twips(12300));

    Frame5 = frame(client, "Frame5", QStringLiteral("Gmail Login"), 120, 120, 7800, 1800);
    lblLabels0 = label(Frame5, "lblLabels0", QStringLiteral("Username:"), 240, 345, 1320, 270);
    Text1 = textBox(Frame5, "Text1", 1320, 300, 2880, 345);
    lblLabels1 = label(Frame5, "lblLabels1", QStringLiteral("Password:"), 240, 795, 1080, 270);
    Text2 = textBox(Frame5, "Text2", 1320, 750, 2880, 345);
    Text2->setEchoMode(QLineEdit::Password);
    lblLabels0->setBuddy(Text1);
    lblLabels1->setBuddy(Text2);
    Check1 = checkBox(Frame5, "Check1", QStringLiteral("Remember me"), 4320, 345, 1695, 255);
    Check2 = checkBox(Frame5, "Check2", QStringLiteral("Autoconnect when software loads"), 4320, 795, 3255, 255);
    PushButton5 = button(Frame5, "PushButton5", QStringLiteral("1. Connect"), 240, 1200, 5760, 405);
    PushButton8 = button(Frame5, "PushButton8", QStringLiteral("Help"), 6120, 1200, 1425, 405);

    Frame2 = frame(client, "Frame2", QStringLiteral("Folder"), 120, 1965, 7800, 1035);
    Option3 = option(Frame2, "Option3", QStringLiteral("Inbox"), 240, 300, 1700, 255);
    Option4 = option(Frame2, "Option4", QStringLiteral("All Mail"), 1920, 300, 1700, 255);
    Option5 = option(Frame2, "Option5", QStringLiteral("Drafts"), 3960, 300, 1700, 255);
    Option6 = option(Frame2, "Option6", QStringLiteral("Sent Mail"), 5640, 300, 1700, 255);
    Option7 = option(Frame2, "Option7", QStringLiteral("Spam"), 240, 650, 1700, 255);
    Option8 = option(Frame2, "Option8", QStringLiteral("Starred"), 1920, 650, 1700, 255);
    Option9 = option(Frame2, "Option9", QStringLiteral("Trash"), 3960, 650, 1700, 255);
    Option10 = option(Frame2, "Option10", QStringLiteral("Important"), 5640, 650, 1700, 255);
    Option3->setChecked(true);

    Frame6 = frame(client, "Frame6", QStringLiteral("Filter Options"), 120, 3060, 7800, 1380);
    PushButton15 = button(Frame6, "PushButton15", QStringLiteral("?"), 120, 300, 345, 405);
    PushButton14 = button(Frame6, "PushButton14", QStringLiteral("Filter By Characters"), 600, 300, 2640, 405);
    Label3 = label(Frame6, "Label3", QStringLiteral("No Character Filter set"), 3360, 300, 2610, 405);
    PushButton17 = button(Frame6, "PushButton17", QStringLiteral("Clear Filter"), 6120, 300, 1440, 405);
    PushButton16 = button(Frame6, "PushButton16", QStringLiteral("?"), 120, 800, 345, 405);
    PushButton13 = button(Frame6, "PushButton13", QStringLiteral("Filter By Label"), 600, 800, 2640, 405);
    Label4 = label(Frame6, "Label4", QStringLiteral("No Label Filter set"), 3360, 795, 2610, 405);
    PushButton18 = button(Frame6, "PushButton18", QStringLiteral("Clear Filter"), 6120, 800, 1440, 405);

    PushButton10 = button(client, "PushButton10", QStringLiteral("2a. Get All Emails"), 120, 4560, 3840, 405);
    PushButton2 = button(client, "PushButton2", QStringLiteral("2b. Get Some Emails"), 4080, 4560, 3840, 405);
    PushButton12 = button(client, "PushButton12", QStringLiteral("Show List In Larger View"), 120, 5070, 7800, 405);
    ListView1 = place(new MessageList(client), "ListView1", 120, 5565, 7800, 1665);
    ListView1->setToolTip(QStringLiteral("Move | line to right and out of window to reveal full names."));
    Label1 = label(client, "Label1", QStringLiteral("Total Number Of Emails: "), 120, 7320, 3840, 255);
    Label2 = label(client, "Label2", QStringLiteral("Selected Emails: "), 4080, 7320, 3840, 255);
    PushButton4 = button(client, "PushButton4", QStringLiteral("Check All"), 120, 7680, 3840, 405);
    PushButton6 = button(client, "PushButton6", QStringLiteral("Uncheck All"), 4080, 7680, 3840, 405);
    PushButton9 = button(client, "PushButton9", QStringLiteral("Check Emails Containing..."), 120, 8190, 3840, 405);
    PushButton11 = button(client, "PushButton11", QStringLiteral("Check Emails Not Containing..."), 4080, 8190, 3840, 405);
    PushButton3 = button(client, "PushButton3", QStringLiteral("Clear List"), 120, 8700, 7800, 405);

    Frame3 = frame(client, "Frame3", QStringLiteral("Save Method"), 120, 9150, 7800, 1050);
    Option1 = option(Frame3, "Option1", QStringLiteral("Save Each Email To Separate Text Files"), 240, 300, 3735, 255);
    Option2 = option(Frame3, "Option2", QStringLiteral("Save All Emails To One Text File"), 240, 650, 3255, 255);
    Option1->setChecked(true);

    Frame1 = frame(client, "Frame1", QStringLiteral("Save Gmail Emails To This Folder"), 120, 10245, 7800, 855);
    Text3 = textBox(Frame1, "Text3", 240, 300, 6495, 345);
    Text3->setAccessibleName(Frame1->title());
    PushButton1 = button(Frame1, "PushButton1", QStringLiteral("..."), 6840, 300, 735, 345);
    PushButton1->setAccessibleName(QStringLiteral("Browse for the save folder"));
    PushButton7 = button(client, "PushButton7", QStringLiteral("3. Start Downloading"), 120, 11220, 7800, 405);

    ProgressBar1 = place(new QProgressBar(client), "ProgressBar1", 120, 11745, 7800, 405);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setAlignment(Qt::AlignCenter);
    setStatusLine(QStringLiteral("Progress Bar"));

    // The designed look: white window, frames, option buttons and check boxes.
    setBackground(this, Qt::white);
    setBackground(client, Qt::white);
    for (QWidget *widget : client->findChildren<QWidget *>()) {
        if (qobject_cast<QGroupBox *>(widget) || qobject_cast<QRadioButton *>(widget)
            || qobject_cast<QCheckBox *>(widget))
            setBackground(widget, Qt::white);
    }

    watchPointer(this);
    watchPointer(client);
    for (QWidget *widget : client->findChildren<QWidget *>())
        watchPointer(widget);
    watchPointer(ListView1->viewport());
}

void Form1::connectHandlers()
{
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton8, &QPushButton::clicked, this, &Form1::PushButton8_Click);
    connect(PushButton10, &QPushButton::clicked, this, &Form1::PushButton10_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton12, &QPushButton::clicked, this, &Form1::PushButton12_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(PushButton9, &QPushButton::clicked, this, &Form1::PushButton9_Click);
    connect(PushButton11, &QPushButton::clicked, this, &Form1::PushButton11_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton13, &QPushButton::clicked, this, &Form1::PushButton13_Click);
    connect(PushButton14, &QPushButton::clicked, this, &Form1::PushButton14_Click);
    connect(PushButton15, &QPushButton::clicked, this, &Form1::PushButton15_Click);
    connect(PushButton16, &QPushButton::clicked, this, &Form1::PushButton16_Click);
    connect(PushButton17, &QPushButton::clicked, this, &Form1::PushButton17_Click);
    connect(PushButton18, &QPushButton::clicked, this, &Form1::PushButton18_Click);
    connect(ListView1, &MessageList::ItemCheck, this, &Form1::ListView1_ItemCheck);

    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(Text2, &QLineEdit::textChanged, this, &Form1::Text2_Change);
    connect(Text3, &QLineEdit::textChanged, this, &Form1::Text3_Change);
    connect(Check1, &QCheckBox::toggled, this, &Form1::Check1_Click);
    connect(Check2, &QCheckBox::toggled, this, &Form1::Check2_Click);

    // A click selects the option; the handlers run as for a selection made by code.
    // Qt has already toggled the button when `clicked` arrives.
    const auto userSelects = [this](QRadioButton *button) {
        button->setChecked(false);
        selectFolderOption(button, true);
    };
    connect(Option1, &QRadioButton::clicked, this, [=] { userSelects(Option1); });
    connect(Option2, &QRadioButton::clicked, this, [=] { userSelects(Option2); });
    for (int number = 3; number <= 10; ++number) {
        QRadioButton *button = folderOption(number);
        connect(button, &QRadioButton::clicked, this, [=] { userSelects(button); });
    }
}

QRadioButton *Form1::folderOption(int number) const
{
    QRadioButton *const options[] = {Option3, Option4, Option5, Option6, Option7, Option8, Option9, Option10};
    return number >= 3 && number <= 10 ? options[number - 3] : nullptr;
}

void Form1::selectFolderOption(QRadioButton *button, bool selected)
{
    if (!selected) {
        button->setChecked(false);
        return;
    }
    // As with a toggle, nothing happens when the option is already selected.
    if (button->isChecked())
        return;
    // Selecting one option clears the others of its frame, then its click handler runs.
    for (QRadioButton *sibling : button->parentWidget()->findChildren<QRadioButton *>()) {
        if (sibling != button)
            sibling->setChecked(false);
    }
    button->setChecked(true);
    if (button == Option1)
        Option1_Click();
    else if (button == Option2)
        Option2_Click();
    else
        OptionFolder_Click();
}

void Form1::Form_Load()
{
    ErrorTrap trap("Form1", "Form_Load");
    trap.run(102, [&] { ApplySkin(this); });
    trap.run(104, [&] {
        setWindowTitle(QLatin1String(kProductName));
        setWindowIcon(QApplication::windowIcon());
        setApplicationTitle(shortenedProductName(QLatin1String(kProductName)));
    });
    const QString handPointerPath = programFolder() + QStringLiteral("/HAND-M.CUR");
    if (trap.test(106, [&] { return FileExists(handPointerPath); })) {
        trap.run(108, [&] {
            m_handPointer = loadCursorFile(handPointerPath);
            m_hasHandPointer = true;
        });
    }
    trap.run(134, [&] { Text1->setText(Settings::read(SettingKey::User, QString())); });
    trap.run(136, [&] { Text2->setText(Settings::read(SettingKey::Password, QString())); });
    trap.run(138, [&] { Text3->setText(Settings::read(SettingKey::Folder, QString())); });
    trap.run(140, [&] { Text3->setText(Settings::read(SettingKey::Folder, defaultSaveFolder())); });
    if (trap.test(142, [&] { return Settings::read(SettingKey::Option, QString()) == QLatin1String("2"); }))
        trap.run(144, [&] { selectFolderOption(Option2, true); });
    else
        trap.run(146, [&] { selectFolderOption(Option1, true); });
    // All eight keys are read before any is applied: applying one runs its
    // click handler, which rewrites the keys not yet restored.
    std::exception_ptr readFailures[8];
    bool selected[8] = {};
    for (int i = 0; i < 8; ++i) {
        try {
            selected[i] = Settings::readBool(kFolderKeys[i]);
        } catch (...) {
            readFailures[i] = std::current_exception();
        }
    }
    for (int number = 3; number <= 10; ++number) {
        trap.run(148 + 2 * (number - 3), [&] {
            if (readFailures[number - 3])
                std::rethrow_exception(readFailures[number - 3]);
            selectFolderOption(folderOption(number), selected[number - 3]);
        });
    }
    for (int column = 0; column < 6; ++column)
        trap.run(164 + 2 * column, [&] { ListView1->addColumn(QLatin1String(kColumnHeaders[column])); });
    for (int column = 0; column < 6; ++column)
        trap.run(176 + 2 * column, [&] { ListView1->setColumnWidthTwips(column, kColumnWidths[column]); });
    trap.run(188, [&] { ListView1->removeAllRows(); });
    trap.run(190, [&] { ListView1->viewport()->update(); });
    trap.run(192, [&] {
        ImapClientOptions options;
        options.extraCaFile = program().server.caFile;
        ImapComponent = std::shared_ptr<ImapClient>(createImapClient(options));
    });
    if (trap.test(194, [&] { return Settings::readWholeNumber(SettingKey::StayConnected) != 0; })) {
        trap.run(196, [&] { Check1->setChecked(true); });
        trap.run(198, [&] { Text1->setText(Settings::read(SettingKey::User, QString())); });
        trap.run(200, [&] { Text2->setText(Settings::read(SettingKey::Password, QString())); });
    } else {
        trap.run(202, [&] { Check1->setChecked(false); });
        trap.run(204, [&] { Text1->setText(QString()); });
        trap.run(206, [&] {
            Text2->setText(QString());
            Settings::write(SettingKey::Password, QString());
        });
    }
    trap.run(208, [&] { UpdateCounters(false); });
    trap.run(210, [&] { TextCheckApplied = false; });
    trap.run(212, [&] { setBackground(Label1, Qt::white); });
    trap.run(214, [&] { setBackground(Label2, Qt::white); });
    if (trap.test(216, [&] { return Check1->isChecked(); }))
        trap.run(218, [&] { Check2->setEnabled(true); });
    else
        trap.run(220, [&] { Check2->setEnabled(false); });
    trap.run(222, [&] { Label3->setText(QStringLiteral("No Character Filter set")); });
    trap.run(224, [&] { Label4->setText(QStringLiteral("No Label Filter set")); });
    trap.run(226, [&] {
        const qint32 value = Settings::readWholeNumber(SettingKey::AutoConnect);
        if (value != 0 && value != 1)
            throw AppError(QStringLiteral("Invalid property value"));
        Check2->setChecked(value == 1);
    });
    if (trap.test(228, [&] { return Check2->isChecked(); }))
        trap.run(230, [&] { PushButton5_Click(); });
}

void Form1::closeEvent(QCloseEvent *event)
{
    event->accept();
    // Closing the main window ends the program at once.
    endProgram();
}

void Form1::UpdateCounters(bool Reset)
{
    if (Reset) {
        Label1->setText(QStringLiteral("Total Number Of Emails: 0"));
        Label2->setText(QStringLiteral("Selected Emails: 0"));
        return;
    }
    Label1->setText(QStringLiteral("Total Number Of Emails: ") + QString::number(ListView1->rowCount()));
    Label2->setText(QStringLiteral("Selected Emails: ") + QString::number(CountCheckedItems()));
}

qint32 Form1::CountCheckedItems()
{
    // The model keeps the count as marks change, so this is exact at every
    // moment; one turn of the event loop keeps the window as lively as a walk would.
    QCoreApplication::processEvents();
    return ListView1->checkedCount();
}

void Form1::SortListByDate()
{
    ListView1->sortByDateDescending();
}

void Form1::setBusy(bool busy)
{
    setCursor(busy ? QCursor(Qt::WaitCursor) : QCursor(Qt::ArrowCursor));
}

bool Form1::isBusy() const
{
    return cursor().shape() == Qt::WaitCursor;
}

void Form1::setStatusLine(const QString &text)
{
    // The bar's format text is the status line; '%' would be read as a placeholder.
    QString format = text;
    format.replace(QLatin1Char('%'), QLatin1String("%%"));
    ProgressBar1->setFormat(format);
    ProgressBar1->setAccessibleDescription(text);
}

QString Form1::statusLine() const
{
    return ProgressBar1->accessibleDescription();
}

void Form1::watchPointer(QWidget *widget)
{
    widget->setMouseTracking(true);
    widget->installEventFilter(this);
}

bool Form1::event(QEvent *event)
{
    // A box is coming up over the window: it must not sit over stale progress.
    if (event->type() == QEvent::WindowBlocked)
        showPendingProgress();
    return QMainWindow::event(event);
}

void Form1::showPendingProgress()
{
    m_progress->flush();
    ListView1->showPendingRows();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove && !isBusy()) {
        // A move a child ignores reaches its parents too: judge by the widget
        // actually under the pointer, not by the one being told.
        auto *widget = static_cast<QWidget *>(watched);
        QWidget *under = widget->childAt(static_cast<QMouseEvent *>(event)->position().toPoint());
        if (!under)
            under = widget;
        const bool overButton = qobject_cast<QPushButton *>(under) || qobject_cast<QPushButton *>(under->parentWidget());
        setCursor(overButton && m_hasHandPointer ? m_handPointer : QCursor(Qt::ArrowCursor));
    } else if (event->type() == QEvent::FocusIn) {
        // Text boxes select their whole text when they receive the focus.
        if (auto *box = qobject_cast<QLineEdit *>(watched))
            QTimer::singleShot(0, box, [box] { box->selectAll(); });
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::Text1_Change()
{
    Settings::write(SettingKey::User, Text1->text());
}

// The password reaches the settings file only while "Remember me" is
// checked: a secret the user chose not to keep must not wait on disk.
void Form1::Text2_Change()
{
    if (Check1->isChecked())
        Settings::write(SettingKey::Password, Text2->text());
}

void Form1::Text3_Change()
{
    Settings::write(SettingKey::Folder, Text3->text());
}

void Form1::Check1_Click()
{
    Settings::write(SettingKey::StayConnected, Check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    Settings::write(SettingKey::Password, Check1->isChecked() ? Text2->text() : QString());
    Check2->setEnabled(Check1->isChecked());
}

void Form1::Check2_Click()
{
    Settings::write(SettingKey::AutoConnect, Check2->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void Form1::Option1_Click()
{
    Settings::write(SettingKey::Option, QStringLiteral("1"));
}

void Form1::Option2_Click()
{
    Settings::write(SettingKey::Option, QStringLiteral("2"));
}

void Form1::OptionFolder_Click()
{
    for (int number = 3; number <= 10; ++number)
        Settings::write(kFolderKeys[number - 3], Settings::boolText(folderOption(number)->isChecked()));
}

QString Form1::folderName() const
{
    if (!LabelFilter.isEmpty())
        return LabelFilter;
    if (Option3->isChecked())
        return QStringLiteral("Inbox");
    for (int number = 4; number <= 10; ++number) {
        if (!folderOption(number)->isChecked())
            continue;
        // The server's own name of the folder whose caption the option shows:
        // "[Google Mail]/..." accounts and special-use folders have no "[Gmail]/".
        const size_t entry = size_t(number - 3);
        const QString caption = folderOption(number)->text();
        if (!program().SpecialFolderMailboxes[entry].isEmpty() && program().SpecialFolderNames[entry] == caption)
            return program().SpecialFolderMailboxes[entry];
        return QStringLiteral("[Gmail]/") + caption;
    }
    return QString();
}

std::shared_ptr<clsImapSession> Form1::newSession() const
{
    auto session = std::make_shared<clsImapSession>();
    session->ImapObject = ImapComponent;
    session->SSL = true;
    session->PORT = program().server.port;
    session->IMAPServer = program().server.host;
    session->Username = Text1->text();
    session->Password = Text2->text();
    return session;
}
