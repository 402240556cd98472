#include "mainwindow/mailrecord.h"

#include "app/errortrap.h"

namespace {

QString MailRecord::*const kFields[MailRecord::kTexts] = {
    &MailRecord::From,    &MailRecord::FromName,      &MailRecord::FromAddress, &MailRecord::Subject,
    &MailRecord::ReceivedDate, &MailRecord::PlainTextBody, &MailRecord::HTMLTextBody};

} // namespace

QString &MailRecord::text(int field)
{
    return this->*kFields[field];
}

const QString &MailRecord::text(int field) const
{
    return this->*kFields[field];
}

QByteArray compactUtf8(const QString &text)
{
    QByteArray utf8 = text.toUtf8();
    utf8.squeeze();
    return utf8;
}

void MailRecordStore::recreate(int places)
{
    m_records.clear();
    m_records.shrink_to_fit();
    // Room is taken as records arrive, never for the count a server claims.
    m_places = places > 0 ? places : 0;
}

MailRecordStore::StoredRecord &MailRecordStore::at(int place)
{
    if (place < 1)
        throw AppError(QStringLiteral("Subscript out of range"));
    if (place >= int(m_records.size()))
        m_records.resize(size_t(place) + 1);
    return m_records[size_t(place)];
}

void MailRecordStore::setText(int place, int field, const QByteArray &utf8)
{
    at(place)[size_t(field)] = utf8;
}

void MailRecordStore::set(int place, const MailRecord &record)
{
    StoredRecord &stored = at(place);
    for (int field = 0; field < MailRecord::kTexts; ++field)
        stored[size_t(field)] = compactUtf8(record.text(field));
}

std::optional<MailRecord> MailRecordStore::find(int place) const
{
    if (place <= 0 || place > places())
        return std::nullopt;
    MailRecord record;
    if (place >= int(m_records.size()))
        return record; // a place not written yet
    for (int field = 0; field < MailRecord::kTexts; ++field)
        record.text(field) = QString::fromUtf8(m_records[size_t(place)][size_t(field)]);
    return record;
}
