#pragma once

#include <vector>

#include <QString>

// The seven texts of one listed message; the bodies live only here.
struct MailRecord
{
    QString From;
    QString FromName;
    QString FromAddress;
    QString Subject;
    QString ReceivedDate;
    QString PlainTextBody;
    QString HTMLTextBody;
};

// Records of the listed messages, numbered from 1 as the rows that own them
// refer to them (place 0 is unused).
class MailRecordStore
{
public:
    // Empty, with places 1..places.
    void recreate(int places) { m_records.assign(size_t(places > 0 ? places : 0) + 1, MailRecord()); }
    // The record at `place`, growing the store when a place lies beyond it.
    MailRecord &at(int place)
    {
        if (place >= int(m_records.size()))
            m_records.resize(size_t(place) + 1);
        return m_records[size_t(place)];
    }
    const MailRecord *find(int place) const
    {
        return place > 0 && place < int(m_records.size()) ? &m_records[size_t(place)] : nullptr;
    }
    int places() const { return m_records.empty() ? 0 : int(m_records.size()) - 1; }

private:
    std::vector<MailRecord> m_records;
};
