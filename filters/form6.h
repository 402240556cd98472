#pragma once

#include <QDialog>

class PointerRule;
class QGroupBox;
class QLineEdit;
class QPushButton;

// "Filter By Characters": the text a listed message must contain to get a
// row. OK writes the text, exactly as typed, into the owner's character
// filter field and the settings store; Cancel and the close box change nothing.
class Form6 : public QDialog
{
    Q_OBJECT

public:
    // `charactersFilter` is the owner's field; it must outlive the dialog.
    Form6(QString &charactersFilter, QWidget *owner);

    void Form_Load();
    void Form_Activate();
    // Runs however the dialog closes.
    void Form_Unload();

    QGroupBox *Frame2;
    QLineEdit *txtSearch;
    QPushButton *PushButton1, *PushButton2;

public slots:
    // "OK"
    void PushButton1_Click();
    // "Cancel"
    void PushButton2_Click();

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    QString &m_charactersFilter;
    PointerRule *m_pointer;
    bool m_activated = false;
};
