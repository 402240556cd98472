#pragma once

#include <QDialog>

class PointerRule;
class QComboBox;
class QGroupBox;
class QPushButton;

// "Filter By Label": picks one of the account's labels as the mailbox the
// listing commands list. OK writes the choice into the owner's label filter
// field and the settings store; Cancel and the close box change nothing.
class Form5 : public QDialog
{
    Q_OBJECT

public:
    // `labelFilter` is the owner's field; it must outlive the dialog.
    Form5(QString &labelFilter, QWidget *owner);

    void Form_Load();
    void Form_Activate();
    // Runs however the dialog closes.
    void Form_Unload();

    QGroupBox *Frame2;
    QComboBox *Combo1;
    QPushButton *PushButton1, *PushButton3;

public slots:
    // "OK"
    void PushButton1_Click();
    // "Cancel"
    void PushButton3_Click();

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    QString &m_labelFilter;
    PointerRule *m_pointer;
    bool m_activated = false;
};
