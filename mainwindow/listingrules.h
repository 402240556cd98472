#pragma once

#include <QString>

// The rules a listing applies to each message, for every front that lists:
// the window's list and the command-line export.

// The character filter: `filter` occurs in From, From Name or From Address
// (exact case), in Subject (any case), in the date text, or in the plain-text
// body (exact case). The HTML body is not searched.
bool passesCharacterFilter(const QString &filter, const QString &from, const QString &fromName,
                           const QString &fromAddress, const QString &subject, const QString &receivedDate,
                           const QString &plainTextBody);

// The "RecDate" sort key of a listed message's date text: whole days since
// 30 December 1899, halves to even; "" for a message without a date. The list
// shows messages sorted on it as text, newest first.
QString recDateKey(const QString &receivedDate);
