#pragma once

#include <memory>

#include <QDialog>

class PointerRule;
class QLabel;
class QLineEdit;
class QPushButton;
class clsImapSession;

// The leading number of a text as the range dialog reads it: blanks skipped,
// then an optional sign, digits, decimal point and exponent; reading stops at
// the first other character. A text with no leading number reads 0.
double leadingNumber(const QString &text);
// Nearest whole number, halves to the even one, kept within 32 bits.
qint32 roundHalfEven(double value);

// "Get Some Emails": asks for the first and last message number to list.
// The owner sets ImapSession and MaxMessage before showing it; a valid answer
// is written into the session and sets RangeAccepted.
class Form2 : public QDialog
{
    Q_OBJECT

public:
    explicit Form2(QWidget *owner);

    std::shared_ptr<clsImapSession> ImapSession;
    qint32 MaxMessage = 0;

    // Runs when the dialog is first shown, so it sees the properties just set.
    void Form_Load();
    // Runs however the dialog closes.
    void Form_Unload();

    QLabel *Label1_0, *Label1_1;
    QLineEdit *Text1_0, *Text1_1;
    QPushButton *PushButton1, *Command1;

public slots:
    // "Continue"
    void PushButton1_Click();
    // "Command1": the dialog's default button, the same as "Continue"
    void Command1_Click();

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    clsImapSession &session() const;

    PointerRule *m_pointer;
    bool m_loaded = false;
};
