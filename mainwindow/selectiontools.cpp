#include "mainwindow/selectiontools.h"

#include <algorithm>

#include "app/boxes.h"
#include "app/errortrap.h"
#include "mainwindow/messagelist.h"

namespace {

// The check-by-text tools count rows in 16 bits.
const int kLongestTextCheckedList = 32767;

bool isAscii(QByteArrayView text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return uchar(c) < 0x80; });
}

// X lower-cased, once as text and, when it is plain ASCII, once as bytes:
// most rows' texts are ASCII and can then be searched where they are stored.
struct SearchText
{
    explicit SearchText(const QString &x)
        : lower(x.toLower())
        , lowerBytes(lower.toUtf8())
        , ascii(isAscii(lowerBytes))
    {
    }

    QString lower;
    QByteArray lowerBytes; // ASCII, and so Latin-1 too, when `ascii`
    bool ascii;
};

// One rule for every text: an empty X occurs in every non-empty text and in no
// empty one. Lower-casing an ASCII text changes only its letters A to Z, so a
// case-blind search of it finds what searching its lower case would.
bool occursIn(const QByteArray &utf8, const SearchText &x)
{
    if (utf8.isEmpty())
        return false;
    if (x.ascii && isAscii(utf8))
        return QLatin1StringView(utf8).contains(QLatin1StringView(x.lowerBytes), Qt::CaseInsensitive);
    return QString::fromUtf8(utf8).toLower().contains(x.lower);
}

bool rowContains(const MessageList &list, int position, const SearchText &x)
{
    const int kFrom = 0, kSubject = 3, kReceivedDate = 4;
    const MessageRow &row = list.row(position);
    return occursIn(row.texts[kFrom], x) || occursIn(row.texts[kSubject], x)
        || occursIn(row.texts[kReceivedDate], x);
}

} // namespace

void checkAllRows(ErrorTrap &trap, const SelectionTarget &target)
{
    // One bulk change instead of a walk: the list may hold 100,000 rows.
    trap.run(110, [&] { target.list->setAllChecked(true); });
    trap.run(118, [&] { target.updateCounters(false); });
    trap.run(120, [&] { *target.textCheckApplied = false; });
}

void uncheckAllRows(ErrorTrap &trap, const SelectionTarget &target)
{
    trap.run(100, [&] { target.list->setAllChecked(false); });
    trap.run(106, [&] { target.updateCounters(false); });
    trap.run(108, [&] { *target.textCheckApplied = false; });
}

void checkRowsByText(ErrorTrap &trap, const SelectionTarget &target, bool containing)
{
    MessageList &list = *target.list;
    qint16 rowCount = 0;
    trap.run(110, [&] {
        const int rows = list.rowCount();
        if (rows > kLongestTextCheckedList)
            throw AppError(QStringLiteral("Overflow"));
        rowCount = qint16(rows);
    });
    QString x;
    trap.run(112, [&] { x = inputBox(QStringLiteral("Enter X:")); });
    // X is lower-cased once rather than per row; the outcome is the same.
    const SearchText search(x);
    for (qint16 position = 0; position < rowCount; ++position) {
        trap.run(116, [&] {
            if (!*target.textCheckApplied)
                list.setChecked(position, false);
        });
        if (trap.test(118, [&] { return rowContains(list, position, search) == containing; })) {
            trap.run(120, [&] { list.setChecked(position, true); });
            trap.run(122, [&] { *target.textCheckApplied = true; });
        }
    }
    trap.run(126, [&] { target.updateCounters(false); });
}
