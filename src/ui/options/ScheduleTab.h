// The "Регламент" tab of the options dialog: one row per weekday with its check box and
// its window. The 21 fields carry the schedule tag and are named after their values
// (CBWeek1, TStart1, TStop1 ... TStop7). UI thread only.
#pragma once

#include <QWidget>
#include <array>

class QCheckBox;

namespace ornel
{

class TimeField;

class ScheduleTab final : public QWidget
{
    Q_OBJECT

public:
    explicit ScheduleTab(QWidget* parent);

    // Index 0 is Monday.
    std::array<QCheckBox*, 7> CBWeek;
    std::array<TimeField*, 7> TStart;
    std::array<TimeField*, 7> TStop;
};

} // namespace ornel
