#include "dialogs/form2.h"

#include <cmath>
#include <limits>

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

#include "app/boxes.h"
#include "app/errortrap.h"
#include "app/programstate.h"
#include "dialogs/dialogsupport.h"
#include "mainwindow/form1.h"
#include "session/clsimapsession.h"

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Length of the run of digits starting at `from`.
int digitsAt(const QString &text, int from)
{
    int end = from;
    while (end < text.size() && isDigit(text[end]))
        ++end;
    return end - from;
}

} // namespace

double leadingNumber(const QString &text)
{
    int at = 0;
    while (at < text.size() && (text[at] == QLatin1Char(' ') || text[at] == QLatin1Char('\t')))
        ++at;
    const int start = at;
    if (at < text.size() && (text[at] == QLatin1Char('+') || text[at] == QLatin1Char('-')))
        ++at;
    int mantissaDigits = digitsAt(text, at);
    at += mantissaDigits;
    if (at < text.size() && text[at] == QLatin1Char('.')) {
        const int fraction = digitsAt(text, at + 1);
        mantissaDigits += fraction;
        at += 1 + fraction;
    }
    if (mantissaDigits == 0)
        return 0;
    if (at < text.size() && (text[at] == QLatin1Char('e') || text[at] == QLatin1Char('E'))) {
        int exponentAt = at + 1;
        if (exponentAt < text.size() && (text[exponentAt] == QLatin1Char('+') || text[exponentAt] == QLatin1Char('-')))
            ++exponentAt;
        const int exponentDigits = digitsAt(text, exponentAt);
        if (exponentDigits > 0)
            at = exponentAt + exponentDigits;
    }
    bool ok = false;
    // Overflow reads as infinity, underflow as 0; both are what the text says.
    const double value = QLocale::c().toDouble(QStringView(text).mid(start, at - start), &ok);
    return std::isnan(value) ? 0 : value;
}

qint32 roundHalfEven(double value)
{
    constexpr double lowest = std::numeric_limits<qint32>::min();
    constexpr double highest = std::numeric_limits<qint32>::max();
    if (std::isnan(value))
        return 0;
    if (value <= lowest)
        return std::numeric_limits<qint32>::min();
    if (value >= highest)
        return std::numeric_limits<qint32>::max();
    const double floor = std::floor(value);
    const double fraction = value - floor;
    double result = floor;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0))
        result = floor + 1;
    return qint32(result);
}

Form2::Form2(QWidget *owner)
    : QDialog(owner)
    , m_pointer(new PointerRule(this))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Get Some Emails"));
    setFixedSize(twips(4200), twips(2700));
    auto place = [](QWidget *widget, const char *name, int l, int t, int w, int h) {
        widget->setObjectName(QLatin1String(name));
        widget->setGeometry(twips(l), twips(t), twips(w), twips(h));
    };
    Label1_0 = new QLabel(QStringLiteral("From:"), this);
    place(Label1_0, "Label1_0", 240, 240, 1800, 255);
    Text1_0 = new QLineEdit(QStringLiteral("1"), this);
    place(Text1_0, "Text1_0", 240, 540, 1800, 345);
    Label1_1 = new QLabel(QStringLiteral("To (Max of 0):"), this);
    place(Label1_1, "Label1_1", 2160, 240, 1800, 255);
    Text1_1 = new QLineEdit(QStringLiteral("1"), this);
    place(Text1_1, "Text1_1", 2160, 540, 1800, 345);
    Label1_0->setBuddy(Text1_0);
    Label1_1->setBuddy(Text1_1);
    PushButton1 = new QPushButton(QStringLiteral("Continue"), this);
    place(PushButton1, "PushButton1", 240, 1080, 3720, 405);
    // Enter in either box continues. Command1 stays hidden (Qt's dialogs only
    // press a visible default button) and does exactly what Continue does.
    PushButton1->setDefault(true);
    Command1 = new QPushButton(QStringLiteral("Command1"), this);
    place(Command1, "Command1", 240, 1600, 3720, 405);
    Command1->hide();
    connect(PushButton1, &QPushButton::clicked, this, &Form2::PushButton1_Click);
    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    m_pointer->watchAll();
}

void Form2::showEvent(QShowEvent *event)
{
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
    }
    QDialog::showEvent(event);
}

void Form2::Form_Load()
{
    ErrorTrap trap("Form2", "Form_Load");
    loadDialogAppearance(trap, this, *m_pointer, 102);
    trap.run(110, [&] { program().RangeAccepted = false; });
    trap.run(112, [&] { Text1_1->setText(QString::number(MaxMessage)); });
    trap.run(114, [&] { Label1_1->setText(QStringLiteral("To (Max of %1)").arg(MaxMessage)); });
    trap.run(116, [&] {
        setTabOrder(Text1_1, Text1_0);
        Text1_1->setFocus();
    });
    trap.run(118, [&] { Text1_1->setCursorPosition(0); });
    // Typing replaces the maximum.
    trap.run(120, [&] { Text1_1->selectAll(); });
}

void Form2::PushButton1_Click()
{
    ErrorTrap trap("Form2", "PushButton1_Click");
    const double first = leadingNumber(Text1_0->text());
    const double last = leadingNumber(Text1_1->text());
    if (trap.test(100, [&] { return !(first > 0); })) {
        trap.run(102, [&] { showMessage(QStringLiteral("Please input a value greater than zero.")); });
        return;
    }
    if (trap.test(104, [&] { return !(last > 0) || last > MaxMessage; })) {
        trap.run(106, [&] {
            showMessage(QStringLiteral("Please input max value greater than zero (0) and less than or equal to ")
                        + QString::number(MaxMessage) + QLatin1Char('.'));
        });
        return;
    }
    // A first number beyond 32 bits is kept at the largest one: like any
    // number beyond the folder, it lists nothing.
    trap.run(108, [&] { session().CurrentLocation = roundHalfEven(first); });
    trap.run(110, [&] { session().MaxRecord = roundHalfEven(last); });
    // Without a session nothing was written, so nothing may be listed.
    trap.run(112, [&] { program().RangeAccepted = ImapSession != nullptr; });
    trap.run(114, [&] { accept(); });
}

clsImapSession &Form2::session() const
{
    if (!ImapSession)
        throw AppError(QStringLiteral("No mail session to set the range of"));
    return *ImapSession;
}

void Form2::Command1_Click()
{
    PushButton1_Click();
}

void Form2::done(int result)
{
    Form_Unload();
    QDialog::done(result);
}

void Form2::Form_Unload()
{
    // "Done." belongs to a listing, never to closing this dialog.
    program().SkipDoneMessage = true;
}
