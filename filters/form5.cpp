#include "filters/form5.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>

#include "app/errortrap.h"
#include "app/programstate.h"
#include "app/settings.h"
#include "dialogs/dialogsupport.h"
#include "mainwindow/form1.h"

Form5::Form5(QString &labelFilter, QWidget *owner)
    : QDialog(owner)
    , m_labelFilter(labelFilter)
    , m_pointer(new PointerRule(this))
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Filter By Label"));
    setFixedSize(twips(4800), twips(2250));
    Frame2 = new QGroupBox(QStringLiteral("Filter By Label"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setGeometry(twips(120), twips(120), twips(4560), twips(900));
    Combo1 = new QComboBox(Frame2);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setGeometry(twips(240), twips(360), twips(4080), twips(345));
    // Only the listed labels: a mistyped name would silently list nothing.
    Combo1->setEditable(false);
    Combo1->setAccessibleName(Frame2->title());
    PushButton1 = new QPushButton(QStringLiteral("OK"), this);
    PushButton1->setObjectName(QStringLiteral("PushButton1"));
    PushButton1->setGeometry(twips(120), twips(1200), twips(2220), twips(405));
    PushButton1->setDefault(true);
    PushButton3 = new QPushButton(QStringLiteral("Cancel"), this);
    PushButton3->setObjectName(QStringLiteral("PushButton3"));
    PushButton3->setGeometry(twips(2460), twips(1200), twips(2220), twips(405));
    connect(PushButton1, &QPushButton::clicked, this, &Form5::PushButton1_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form5::PushButton3_Click);
    m_pointer->watchAll();
    Form_Load();
}

void Form5::Form_Load()
{
    ErrorTrap trap("Form5", "Form_Load");
    loadDialogAppearance(trap, this, *m_pointer, 102);
}

void Form5::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // While it is open the modal dialog is the program's active window, so it
    // becomes active once; a later activation (back from another program)
    // must not throw away the user's choice.
    if (!m_activated) {
        m_activated = true;
        Form_Activate();
    }
}

void Form5::Form_Activate()
{
    ErrorTrap trap("Form5", "Form_Activate");
    bool found = false;
    trap.run(100, [&] { found = false; });
    trap.run(102, [&] { Combo1->clear(); });
    const QStringList names = program().LabelNames.value_or(QStringList());
    if (trap.test(104, [&] { return !names.isEmpty(); })) {
        for (const QString &name : names) {
            trap.run(108, [&] { Combo1->addItem(name); });
            if (trap.test(110, [&] { return name == m_labelFilter; }))
                trap.run(112, [&] { found = true; });
        }
    }
    if (trap.test(116, [&] { return !m_labelFilter.isEmpty() && found; }))
        trap.run(118, [&] { Combo1->setCurrentIndex(Combo1->findText(m_labelFilter, Qt::MatchExactly | Qt::MatchCaseSensitive)); });
    else
        Combo1->setCurrentIndex(-1);
}

void Form5::PushButton1_Click()
{
    ErrorTrap trap("Form5", "PushButton1_Click");
    if (trap.test(100, [&] { return !Combo1->currentText().isEmpty(); }))
        trap.run(102, [&] { m_labelFilter = Combo1->currentText(); });
    else
        trap.run(104, [&] { m_labelFilter.clear(); });
    trap.run(106, [&] { Settings::write(SettingKey::LabelFilter, m_labelFilter); });
    trap.run(108, [&] { accept(); });
}

void Form5::PushButton3_Click()
{
    ErrorTrap trap("Form5", "PushButton3_Click");
    trap.run(100, [&] { reject(); });
}

void Form5::done(int result)
{
    Form_Unload();
    QDialog::done(result);
}

void Form5::Form_Unload()
{
    // Closing a filter dialog while a listing runs ends that listing without "Done.".
    program().SkipDoneMessage = true;
}
