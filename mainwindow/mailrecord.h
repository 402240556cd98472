#pragma once

#include <array>
#include <optional>
#include <vector>

#include <QByteArray>
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

    // The texts in the order above.
    static constexpr int kTexts = 7;
    QString &text(int field);
    const QString &text(int field) const;
};

// `text` in UTF-8 without spare room: encoding reserves room for the worst
// case, three bytes a character, and keeps it.
QByteArray compactUtf8(const QString &text);

// Records of the listed messages, numbered from 1 as the rows that own them
// refer to them (place 0 is unused). A listing keeps every message's bodies,
// so the texts are held in UTF-8, about half the room UTF-16 takes for mail;
// they are decoded again only when a record is read.
class MailRecordStore
{
public:
    // Empty, with places 1..places; room is taken only as texts are set.
    void recreate(int places);
    // Sets one text of the record at `place`, growing the store when the
    // place lies beyond it. Taking UTF-8 lets a row share the same bytes.
    void setText(int place, int field, const QByteArray &utf8);
    void set(int place, const MailRecord &record);
    // The record at `place`, or nothing for a place the store does not have.
    std::optional<MailRecord> find(int place) const;
    int places() const { return qMax(m_places, m_records.empty() ? 0 : int(m_records.size()) - 1); }

private:
    using StoredRecord = std::array<QByteArray, MailRecord::kTexts>;
    StoredRecord &at(int place);

    std::vector<StoredRecord> m_records; // the places written so far
    int m_places = 0;                     // the places recreate() announced
};
