#include "ui/options/TimeField.h"

#include <cmath>
#include <cstdint>

namespace ornel
{

namespace
{

constexpr std::int64_t kMsPerDay = 86400000;

} // namespace

TimeField::TimeField(QWidget* parent)
    : QTimeEdit(parent)
{
    setDisplayFormat(QStringLiteral("HH:mm"));
    setTime(QTime(0, 0));
}

double TimeField::Value() const
{
    return m_datePart + static_cast<double>(time().msecsSinceStartOfDay()) / static_cast<double>(kMsPerDay);
}

void TimeField::SetTimeOfDay(double dateTime)
{
    // Before 30 December 1899 the fraction counts forward from the day's start all the
    // same (-1.25 is 06:00), as the schedule check reads it.
    const double fraction = std::fabs(dateTime - std::trunc(dateTime));
    std::int64_t ms = std::llround(fraction * static_cast<double>(kMsPerDay));
    if (ms >= kMsPerDay) {
        ms = kMsPerDay - 1; // a fraction a hair below 1 is the day's last moment, not the next day
    }
    setTime(QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

} // namespace ornel
