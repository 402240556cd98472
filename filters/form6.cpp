#include "filters/form6.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/errortrap.h"
#include "app/programstate.h"
#include "app/settings.h"
#include "dialogs/dialogsupport.h"
#include "mainwindow/form1.h"

Form6::Form6(QString &charactersFilter, QWidget *owner)
    : QDialog(owner)
    , m_charactersFilter(charactersFilter)
    , m_pointer(new PointerRule(this))
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("Filter By Characters"));
    setFixedSize(twips(7200), twips(2250));
    Frame2 = new QGroupBox(
        QStringLiteral("Filter By Characters - only emails containing these characters will be retrieved"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setGeometry(twips(120), twips(120), twips(6960), twips(900));
    txtSearch = new QLineEdit(Frame2);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    txtSearch->setGeometry(twips(240), twips(360), twips(6480), twips(345));
    txtSearch->setAccessibleName(Frame2->title());
    PushButton1 = new QPushButton(QStringLiteral("OK"), this);
    PushButton1->setObjectName(QStringLiteral("PushButton1"));
    PushButton1->setGeometry(twips(120), twips(1200), twips(3420), twips(405));
    PushButton1->setDefault(true);
    PushButton2 = new QPushButton(QStringLiteral("Cancel"), this);
    PushButton2->setObjectName(QStringLiteral("PushButton2"));
    PushButton2->setGeometry(twips(3660), twips(1200), twips(3420), twips(405));
    connect(PushButton1, &QPushButton::clicked, this, &Form6::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form6::PushButton2_Click);
    m_pointer->watchAll();
    Form_Load();
}

void Form6::Form_Load()
{
    ErrorTrap trap("Form6", "Form_Load");
    loadDialogAppearance(trap, this, *m_pointer, 102);
}

void Form6::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Once only: a later activation must not overwrite what the user typed.
    if (!m_activated) {
        m_activated = true;
        Form_Activate();
    }
}

void Form6::Form_Activate()
{
    ErrorTrap trap("Form6", "Form_Activate");
    if (trap.test(100, [&] { return !m_charactersFilter.isEmpty(); }))
        trap.run(102, [&] { txtSearch->setText(m_charactersFilter); });
    trap.run(104, [&] { txtSearch->setCursorPosition(0); });
    // Typing replaces the whole current filter.
    trap.run(106, [&] { txtSearch->selectAll(); });
    txtSearch->setFocus();
}

void Form6::PushButton1_Click()
{
    ErrorTrap trap("Form6", "PushButton1_Click");
    trap.run(100, [&] { m_charactersFilter = txtSearch->text(); });
    trap.run(102, [&] { Settings::write(SettingKey::CharactersFilter, m_charactersFilter); });
    trap.run(104, [&] { accept(); });
}

void Form6::PushButton2_Click()
{
    ErrorTrap trap("Form6", "PushButton2_Click");
    trap.run(100, [&] { reject(); });
}

void Form6::done(int result)
{
    Form_Unload();
    QDialog::done(result);
}

void Form6::Form_Unload()
{
    // Closing a filter dialog while a listing runs ends that listing without "Done.".
    program().SkipDoneMessage = true;
}
