// The weekly work schedule: once a minute (Timer4) today's window decides whether the
// "Мониторинг" menu item is enabled and checked and switches monitoring to match.
// Owned by TFMain; UI thread only.
//
// Wiring: Schedule(context, monitoring, *timer4) takes Timer4's tick handler and sets it to
// 60 s, stopped. Start-up: SetScheduleReadAt(0) before LoadSettings, CheckSchedule() after
// it, SetMonitoring(false) when the item is unchecked, then Timer4 on. After the options
// dialog saved the schedule: ReloadAfterSave().
#pragma once

#include <cstdint>
#include <string>

namespace ornel
{

class Clock;
class Desktop;
class Monitoring;
class RegistryStore;
class Timer;
struct EngineContext;
struct RuntimeSettings;

struct ScheduleWindow
{
    double Start = 0.0; // time of day as a fraction of a day
    double Stop = 0.0;
    bool DayEnabled = false;
};

class Schedule
{
public:
    static constexpr const char* kOptionsKey = "SOFTWARE\\RUX\\ORNEL_FTP\\Options";

    Schedule(RegistryStore& registry, const Clock& clock, RuntimeSettings& settings, Desktop& desktop,
             Monitoring& monitoring, Timer& timer4);
    Schedule(EngineContext& context, Monitoring& monitoring, Timer& timer4);
    ~Schedule();
    Schedule(const Schedule&) = delete;
    Schedule& operator=(const Schedule&) = delete;

    // Timer4's tick. Reads today's window from the store when the last reading is a day
    // old or more (or ScheduleReadAt is 0), else evaluates the window in force. A stored
    // value of the wrong kind throws the store's error; the reading time has been moved
    // on already, so the previous window stays in force.
    void CheckSchedule();
    void ApplySchedule(const ScheduleWindow& window);
    void EvaluateSchedule();

    // Today's window as stored, with the defaults for absent values (Monday to Thursday
    // 09:30-17:30, Friday 09:30-16:30, Saturday and Sunday off). weekday: 1 = Monday.
    [[nodiscard]] ScheduleWindow ReadWindow(int weekday) const;
    [[nodiscard]] static ScheduleWindow DefaultWindow(int weekday);

    // The options dialog saved the schedule: read it again now, with Timer4 held off
    // meanwhile and running again afterwards (also when the reading fails).
    void ReloadAfterSave();

    [[nodiscard]] const ScheduleWindow& Window() const { return m_window; }
    [[nodiscard]] double ScheduleReadAt() const { return m_readAt; }
    void SetScheduleReadAt(double moment) { m_readAt = moment; }
    [[nodiscard]] bool Inside() const { return m_inside; }

    // The time of day of a date-time in whole milliseconds. Windows are compared at this
    // resolution, so 09:30:00 on the clock is 09:30 in the store whatever the rounding of
    // the two doubles.
    [[nodiscard]] static std::int64_t MillisecondOfDay(double dateTime);

private:
    RegistryStore& m_registry;
    const Clock& m_clock;
    RuntimeSettings& m_settings;
    Desktop& m_desktop;
    Monitoring& m_monitoring;
    Timer& m_timer4;
    ScheduleWindow m_window;
    double m_readAt = 0.0;
    bool m_inside = false;
};

} // namespace ornel
