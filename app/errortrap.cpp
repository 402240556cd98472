#include "app/errortrap.h"

#include "app/boxes.h"
#include "app/buildsettings.h"

AppError::AppError(const QString &description)
    : std::runtime_error(description.toStdString())
{
}

QString AppError::description() const
{
    return QString::fromStdString(what());
}

NumberedError::NumberedError(qint32 number, const QString &source, const QString &description)
    : AppError(description)
    , m_number(number)
    , m_source(source)
{
}

namespace {

// A build that names no support address leaves its sentence out.
QString supportSentence()
{
    if (*kSupportAddress == '\0')
        return QString();
    return QLatin1String("Please email screenshot of this message to ") + QLatin1String(kSupportAddress);
}

} // namespace

QString errorReportText(const QString &description, const QString &location, int statementNumber)
{
    return description + QLatin1String("\r\n") + location + QLatin1String("at line ")
        + QString::number(statementNumber) + QLatin1String("\r\r") + supportSentence();
}

void ReportError(const QString &location, const QString &description, int statementNumber)
{
    boxes().message(QStringLiteral("Application Error"), errorReportText(description, location, statementNumber),
                    BoxIcon::Warning, BoxButtons::Ok);
}

ErrorTrap::ErrorTrap(const char *window, const char *procedure)
    : m_location(QStringLiteral("in Pellucid2021/08/31.%1.%2 ").arg(QLatin1String(window), QLatin1String(procedure)))
{
}

void ErrorTrap::report(std::exception_ptr failure)
{
    ReportError(m_location, describeFailure(failure), m_statement);
}

void ErrorTrap::fail(int statementNumber, const QString &description)
{
    m_statement = statementNumber;
    ReportError(m_location, description, m_statement);
}

QString describeFailure(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const AppError &error) {
        return error.description();
    } catch (const std::bad_alloc &) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception &error) {
        return QString::fromLocal8Bit(error.what());
    } catch (...) {
        return QStringLiteral("Unknown failure");
    }
}
