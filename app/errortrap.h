#pragma once

#include <exception>
#include <stdexcept>

#include <QString>

// A failure of one statement, carrying the platform's own description
// (QFile::errorString(), strerror and the like).
class AppError : public std::runtime_error
{
public:
    explicit AppError(const QString &description);
    QString description() const;
};

// An error handed up with a number and a source, as the folder enumeration does.
class NumberedError : public AppError
{
public:
    NumberedError(qint32 number, const QString &source, const QString &description);
    qint32 number() const { return m_number; }
    QString source() const { return m_source; }

private:
    qint32 m_number;
    QString m_source;
};

// The text of the "Application Error" box.
QString errorReportText(const QString &description, const QString &location, int statementNumber);
// Shows the "Application Error" box (warning icon, OK) for one failing statement.
void ReportError(const QString &location, const QString &description, int statementNumber);

// The failure trap every user command runs under: each numbered statement is
// run through it; a statement that throws is reported with its number and the
// procedure goes on with the next one. One box per failing statement.
class ErrorTrap
{
public:
    // window and procedure as in "Form1" and "PushButton7_Click".
    ErrorTrap(const char *window, const char *procedure);

    // The location text, "in Pellucid2021/08/31.Form1.PushButton7_Click ".
    const QString &ProcedureLocation() const { return m_location; }
    int StatementNumber() const { return m_statement; }

    // Runs one statement.
    template <class Statement>
    void run(int statementNumber, Statement &&statement)
    {
        m_statement = statementNumber;
        try {
            statement();
        } catch (...) {
            report(std::current_exception());
        }
    }

    // Evaluates a condition. A condition that fails counts as true, so the
    // procedure goes on with the first statement inside its block.
    template <class Condition>
    bool test(int statementNumber, Condition &&condition)
    {
        m_statement = statementNumber;
        try {
            return condition();
        } catch (...) {
            report(std::current_exception());
            return true;
        }
    }

    // Evaluates an expression; a failure is reported and gives `fallback`.
    template <class T, class Expression>
    T value(int statementNumber, Expression &&expression, T fallback)
    {
        m_statement = statementNumber;
        try {
            return expression();
        } catch (...) {
            report(std::current_exception());
            return fallback;
        }
    }

    // Reports a failure that a statement handed back rather than threw.
    void fail(int statementNumber, const QString &description);

private:
    void report(std::exception_ptr failure);

    QString m_location;
    int m_statement = 0;
};

// The description of any exception, for the report.
QString describeFailure(std::exception_ptr failure);
