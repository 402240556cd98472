#include "app/clock.h"

namespace {

std::function<QDate()> &dateSource()
{
    static std::function<QDate()> source;
    return source;
}

} // namespace

QDate currentLocalDate()
{
    return dateSource() ? dateSource()() : QDate::currentDate();
}

void setLocalDateSource(std::function<QDate()> source)
{
    dateSource() = std::move(source);
}
