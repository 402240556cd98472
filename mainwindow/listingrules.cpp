#include "mainwindow/listingrules.h"

#include <cmath>

#include <QDate>
#include <QDateTime>

#include "session/clsimapsession.h"

namespace {

// Fixed-width decimal digits of `text` from `from`, or -1.
int digitsAt(const QString &text, int from, int count)
{
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// The date and time as written by formatReceivedDate, read without going
// through local time: that consults the time zone file several times a
// message, and the key needs only the written fields.
bool readWrittenDate(const QString &text, QDate &date, QTime &time)
{
    const bool dateOnly = text.size() == 10;
    if (!dateOnly && !(text.size() == 19 && text[10] == QLatin1Char(' ') && text[13] == QLatin1Char(':')
                       && text[16] == QLatin1Char(':')))
        return false;
    if (text[4] != QLatin1Char('-') || text[7] != QLatin1Char('-'))
        return false;
    date = QDate(digitsAt(text, 0, 4), digitsAt(text, 5, 2), digitsAt(text, 8, 2));
    time = dateOnly ? QTime(0, 0) : QTime(digitsAt(text, 11, 2), digitsAt(text, 14, 2), digitsAt(text, 17, 2));
    return date.isValid() && time.isValid();
}

} // namespace

bool passesCharacterFilter(const QString &filter, const QString &from, const QString &fromName,
                           const QString &fromAddress, const QString &subject, const QString &receivedDate,
                           const QString &plainTextBody)
{
    return from.contains(filter) || fromName.contains(filter) || fromAddress.contains(filter)
        || subject.contains(filter, Qt::CaseInsensitive) || receivedDate.contains(filter)
        || plainTextBody.contains(filter);
}

QString recDateKey(const QString &receivedDate)
{
    QDate date;
    QTime time;
    if (!readWrittenDate(receivedDate, date, time)) {
        const QDateTime parsed = parseReceivedDate(receivedDate);
        // An undated message gets no key (it sorts last) rather than a failure per message.
        if (!parsed.isValid())
            return QString();
        date = parsed.date();
        time = parsed.time();
    }
    const double days = double(date.toJulianDay() - QDate(1899, 12, 30).toJulianDay())
        + time.msecsSinceStartOfDay() / 86400000.0;
    // Halves go to the even number, so a time after noon counts as the next day.
    return QString::number(qint64(std::nearbyint(days)));
}

