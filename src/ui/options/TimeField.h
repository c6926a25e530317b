// A time-of-day picker ("HH:mm") that holds a whole date-time, as the schedule stores it:
// loading a stored time sets only the time of day, and the value written back keeps the
// picker's own date part. Used by the options dialog; UI thread only.
#pragma once

#include <QTimeEdit>

namespace ornel
{

class TimeField final : public QTimeEdit
{
    Q_OBJECT

public:
    // The date part a picker holds unless told otherwise: 31 December 1899.
    static constexpr double kPickerDate = 1.0;

    explicit TimeField(QWidget* parent);

    // Date part plus time of day, in days since 30 December 1899.
    [[nodiscard]] double Value() const;
    // The time of day of `dateTime` (its fractional part, to the millisecond); the date
    // part stays.
    void SetTimeOfDay(double dateTime);
    void SetDatePart(double days) { m_datePart = days; }
    [[nodiscard]] double DatePart() const { return m_datePart; }

private:
    double m_datePart = kPickerDate;
};

} // namespace ornel
