#include "mainwindow/selectiontools.h"

#include "app/boxes.h"
#include "app/errortrap.h"
#include "mainwindow/messagelist.h"

namespace {

// The check-by-text tools count rows in 16 bits.
const int kLongestTextCheckedList = 32767;

// One rule for every text: an empty X occurs in every non-empty text and in no
// empty one.
bool occursIn(const QString &text, const QString &lowerX)
{
    return !text.isEmpty() && text.toLower().contains(lowerX);
}

bool rowContains(const MessageList &list, int position, const QString &lowerX)
{
    const int kFrom = 0, kSubject = 3, kReceivedDate = 4;
    return occursIn(list.text(position, kFrom), lowerX) || occursIn(list.text(position, kSubject), lowerX)
        || occursIn(list.text(position, kReceivedDate), lowerX);
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
    const QString lowerX = x.toLower();
    for (qint16 position = 0; position < rowCount; ++position) {
        trap.run(116, [&] {
            if (!*target.textCheckApplied)
                list.setChecked(position, false);
        });
        if (trap.test(118, [&] { return rowContains(list, position, lowerX) == containing; })) {
            trap.run(120, [&] { list.setChecked(position, true); });
            trap.run(122, [&] { *target.textCheckApplied = true; });
        }
    }
    trap.run(126, [&] { target.updateCounters(false); });
}
