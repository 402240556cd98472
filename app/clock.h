#pragma once

#include <functional>

#include <QDate>

// Today's date in local time. Saved file names carry it, so tests replace the
// source to get names they can predict.
QDate currentLocalDate();
// An empty source goes back to the system clock.
void setLocalDateSource(std::function<QDate()> source);
