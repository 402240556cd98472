#include "dialogs/form4.h"

#include <algorithm>

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>

#include "app/appearance.h"
#include "app/errortrap.h"
#include "dialogs/dialogsupport.h"
#include "mainwindow/form1.h"
#include "mainwindow/messagelist.h"
#include "mainwindow/selectiontools.h"

namespace {

const char *const kColumnHeaders[] = {"From", "From Name", "From Address", "Subject", "Received Date", "RecDate"};
const int kColumnWidths[] = {1300, 1600, 1600, 1600, 1600, 0};

// Design size of the left and right column's buttons and labels.
const int kColumnControlWidth = 3840;

QPushButton *button(QWidget *parent, const char *name, const QString &caption, int l, int t, int w, int h)
{
    auto *result = new QPushButton(caption, parent);
    result->setObjectName(QLatin1String(name));
    result->setGeometry(twips(l), twips(t), twips(w), twips(h));
    return result;
}

void moveTo(QWidget *widget, int leftTwips, int topTwips)
{
    widget->move(twips(leftTwips), twips(topTwips));
}

} // namespace

LargerViewLayout largerViewLayout(int windowWidth, int windowHeight, int clearListWidth, int label1Width)
{
    LargerViewLayout layout;
    layout.listWidth = std::max(0, windowWidth - 330);
    layout.listHeight = std::max(0, windowHeight - 3100);
    layout.columnWidth = layout.listWidth / 6;
    layout.labelsTop = windowHeight - 2865;
    layout.checkAllTop = windowHeight - 2505;
    layout.byTextTop = windowHeight - 1995;
    layout.clearListTop = windowHeight - 1485;
    layout.backTop = windowHeight - 975;
    layout.left = windowWidth / 2 - clearListWidth / 2 - 45;
    layout.right = layout.left + label1Width + 120;
    return layout;
}

Form4::Form4(MessageList *mainList, QWidget *owner)
    : QDialog(owner)
    , m_mainList(mainList)
    , m_pointer(new PointerRule(this))
{
    createControls();
    Form_Load();
}

void Form4::createControls()
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral(" List In Larger View"));
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setSizeGripEnabled(true);
    resize(twips(8160), twips(4900));
    ListView1 = new MessageList(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(twips(120), twips(120), twips(7800), twips(1860));
    Label1 = new QLabel(QStringLiteral("Total Number Of Emails: "), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twips(120), twips(2085), twips(kColumnControlWidth), twips(255));
    Label2 = new QLabel(QStringLiteral("Selected Emails: "), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(twips(4080), twips(2085), twips(kColumnControlWidth), twips(255));
    PushButton5 = button(this, "PushButton5", QStringLiteral("Check All"), 120, 2450, 3840, 405);
    PushButton6 = button(this, "PushButton6", QStringLiteral("Uncheck All"), 4080, 2450, 3840, 405);
    PushButton9 = button(this, "PushButton9", QStringLiteral("Check Emails Containing..."), 120, 2960, 3840, 405);
    PushButton10 = button(this, "PushButton10", QStringLiteral("Check Emails Not Containing..."), 4080, 2960, 3840, 405);
    PushButton7 = button(this, "PushButton7", QStringLiteral("Clear List"), 120, 3470, 3840, 405);
    PushButton1 = button(this, "PushButton1", QStringLiteral("Maximize This Window"), 4080, 3470, 3840, 405);
    PushButton4 = button(this, "PushButton4", QStringLiteral("< Back"), 120, 3980, 7800, 405);

    connect(ListView1, &MessageList::ItemCheck, this, &Form4::ListView1_ItemCheck);
    connect(PushButton1, &QPushButton::clicked, this, &Form4::PushButton1_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form4::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form4::PushButton5_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form4::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form4::PushButton7_Click);
    connect(PushButton9, &QPushButton::clicked, this, &Form4::PushButton9_Click);
    connect(PushButton10, &QPushButton::clicked, this, &Form4::PushButton10_Click);
    m_pointer->watchAll();
    ListView1->viewport()->setMouseTracking(true);
    ListView1->viewport()->installEventFilter(m_pointer);
}

void Form4::Form_Load()
{
    ErrorTrap trap("Form4", "Form_Load");
    loadDialogAppearance(trap, this, *m_pointer, 104);
    for (int column = 0; column < 6; ++column)
        trap.run(112 + 2 * column, [&] { ListView1->addColumn(QLatin1String(kColumnHeaders[column])); });
    for (int column = 0; column < 6; ++column)
        trap.run(124 + 2 * column, [&] { ListView1->setColumnWidthTwips(column, kColumnWidths[column]); });
    trap.run(136, [&] { ListView1->removeAllRows(); });
    trap.run(138, [&] { ListView1->viewport()->update(); });
    trap.run(140, [&] { UpdateCounters(false); });
    trap.run(142, [&] { TextCheckApplied = false; });
    trap.run(144, [&] { setBackground(Label1, Qt::white); });
    trap.run(146, [&] { setBackground(Label2, Qt::white); });
}

void Form4::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    Form_Resize();
}

void Form4::Form_Resize()
{
    if (isMinimized())
        return;
    const QSize outer = frameGeometry().size();
    const LargerViewLayout layout = largerViewLayout(outer.width() * 15, outer.height() * 15,
                                                     PushButton7->width() * 15, Label1->width() * 15);
    ListView1->resize(twips(layout.listWidth), twips(layout.listHeight));
    for (int column = 0; column < 5; ++column)
        ListView1->setColumnWidthTwips(column, layout.columnWidth);
    ListView1->setColumnWidthTwips(5, 0);
    moveTo(Label1, layout.left, layout.labelsTop);
    moveTo(Label2, layout.right, layout.labelsTop);
    moveTo(PushButton5, layout.left, layout.checkAllTop);
    moveTo(PushButton6, layout.right, layout.checkAllTop);
    moveTo(PushButton9, layout.left, layout.byTextTop);
    moveTo(PushButton10, layout.right, layout.byTextTop);
    moveTo(PushButton7, layout.left, layout.clearListTop);
    moveTo(PushButton1, layout.right, layout.clearListTop);
    moveTo(PushButton4, layout.left, layout.backTop);
    UpdateCounters(false);
}

void Form4::done(int result)
{
    Form_Unload();
    QDialog::done(result);
}

void Form4::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // Rows are matched by position; a main list that became shorter gets
    // marks only for the rows it still has.
    const int count = std::min(ListView1->rowCount(), m_mainList->rowCount());
    for (int position = 0; position < count; ++position)
        m_mainList->setChecked(position, ListView1->isChecked(position));
}

void Form4::UpdateCounters(bool Reset)
{
    if (Reset) {
        Label1->setText(QStringLiteral("Total Number Of Emails: 0"));
        Label2->setText(QStringLiteral("Selected Emails: 0"));
        return;
    }
    Label1->setText(QStringLiteral("Total Number Of Emails: ") + QString::number(ListView1->rowCount()));
    Label2->setText(QStringLiteral("Selected Emails: ") + QString::number(CountCheckedItems()));
}

qint32 Form4::CountCheckedItems()
{
    // The list keeps its checked count as marks change; one turn of the event
    // loop keeps the window as lively as walking the rows would.
    QCoreApplication::processEvents();
    return ListView1->checkedCount();
}

void Form4::ListView1_ItemCheck(int)
{
    UpdateCounters(false);
}

void Form4::PushButton1_Click()
{
    ErrorTrap trap("Form4", "PushButton1_Click");
    trap.run(100, [&] { setWindowState(windowState() | Qt::WindowMaximized); });
}

void Form4::PushButton4_Click()
{
    ErrorTrap trap("Form4", "PushButton4_Click");
    trap.run(100, [&] { close(); });
}

SelectionTarget Form4::selectionTarget()
{
    SelectionTarget target;
    target.list = ListView1;
    target.textCheckApplied = &TextCheckApplied;
    target.updateCounters = [this](bool reset) { UpdateCounters(reset); };
    return target;
}

void Form4::PushButton5_Click()
{
    ErrorTrap trap("Form4", "PushButton5_Click");
    checkAllRows(trap, selectionTarget());
}

void Form4::PushButton6_Click()
{
    ErrorTrap trap("Form4", "PushButton6_Click");
    uncheckAllRows(trap, selectionTarget());
}

void Form4::PushButton9_Click()
{
    ErrorTrap trap("Form4", "PushButton9_Click");
    checkRowsByText(trap, selectionTarget(), true);
}

void Form4::PushButton10_Click()
{
    ErrorTrap trap("Form4", "PushButton10_Click");
    checkRowsByText(trap, selectionTarget(), false);
}

void Form4::PushButton7_Click()
{
    ErrorTrap trap("Form4", "PushButton7_Click");
    if (trap.test(100, [&] { return cursor().shape() != Qt::WaitCursor; }))
        ListView1->removeAllRows();
    trap.run(102, [&] { m_mainList->removeAllRows(); });
    trap.run(104, [&] { UpdateCounters(true); });
}
