#include "automation/Schedule.h"

#include "automation/Monitoring.h"
#include "engine/Desktop.h"
#include "engine/EngineContext.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/RegistryStore.h"
#include "platform/Timer.h"
#include "settings/RuntimeSettings.h"
#include "settings/SettingsTable.h"

#include <chrono>
#include <cmath>

namespace ornel
{

namespace
{

constexpr std::chrono::milliseconds kTimer4Period{60000};
constexpr std::int64_t kMsPerDay = 86400000;

// A stored time keeps the date of the dialog's time picker; only the time of day counts.
double TimeOfDay(double stored)
{
    return std::fabs(stored - std::trunc(stored));
}

} // namespace

Schedule::Schedule(RegistryStore& registry, const Clock& clock, RuntimeSettings& settings, Desktop& desktop,
                   Monitoring& monitoring, Timer& timer4)
    : m_registry(registry)
    , m_clock(clock)
    , m_settings(settings)
    , m_desktop(desktop)
    , m_monitoring(monitoring)
    , m_timer4(timer4)
{
    m_timer4.SetEnabled(false);
    m_timer4.SetInterval(kTimer4Period);
    m_timer4.SetOnTimer([this] { CheckSchedule(); });
}

Schedule::Schedule(EngineContext& context, Monitoring& monitoring, Timer& timer4)
    : Schedule(context.registry, context.clock, context.settings, context.desktop, monitoring, timer4)
{}

Schedule::~Schedule()
{
    m_timer4.SetOnTimer({});
}

std::int64_t Schedule::MillisecondOfDay(double dateTime)
{
    const auto ms =
        static_cast<std::int64_t>(std::llround(TimeOfDay(dateTime) * static_cast<double>(kMsPerDay)));
    return ms < 0 ? 0 : (ms > kMsPerDay ? kMsPerDay : ms);
}

ScheduleWindow Schedule::DefaultWindow(int weekday)
{
    // The same defaults as the options dialog shows.
    ScheduleWindow w;
    w.DayEnabled = DefaultWeekEnabled(weekday);
    w.Start = TimeOfDay(DefaultScheduleStart(weekday));
    w.Stop = TimeOfDay(DefaultScheduleStop(weekday));
    return w;
}

ScheduleWindow Schedule::ReadWindow(int weekday) const
{
    // A key that cannot be created opens all the same with every value absent, so the
    // defaults apply; a value of the wrong kind throws the store's error.
    const RegistryKey key = m_registry.OpenKey(Hive::LocalMachine, kOptionsKey);
    const std::string day = std::to_string(weekday);
    ScheduleWindow w = DefaultWindow(weekday);
    if (const auto enabled = key.ReadBoolIfPresent("Week" + day)) {
        w.DayEnabled = *enabled;
    }
    if (const auto start = key.ReadFloatIfPresent("Start" + day)) {
        w.Start = TimeOfDay(*start);
    }
    if (const auto stop = key.ReadFloatIfPresent("Stop" + day)) {
        w.Stop = TimeOfDay(*stop);
    }
    return w;
}

void Schedule::CheckSchedule()
{
    const double now = m_clock.Now();
    const int weekday = DayOfTheWeek(now);
    const auto sinceReading =
        static_cast<std::int64_t>(std::llround((now - m_readAt) * static_cast<double>(kMsPerDay)));
    // A clock set back (before the last reading) reads again rather than keeping an old
    // window until the clock catches up.
    if (sinceReading >= 0 && sinceReading < kMsPerDay) {
        EvaluateSchedule();
        return;
    }
    m_readAt = now;
    ApplySchedule(ReadWindow(weekday));
}

void Schedule::ApplySchedule(const ScheduleWindow& window)
{
    m_window = window;
    EvaluateSchedule();
}

void Schedule::EvaluateSchedule()
{
    const std::int64_t t = MillisecondOfDay(m_clock.Now());
    // Both ends belong to the window; a window whose Start is after its Stop (across
    // midnight) is never entered.
    m_inside =
        m_window.DayEnabled && t >= MillisecondOfDay(m_window.Start) && t <= MillisecondOfDay(m_window.Stop);
    m_desktop.SetMonitoringItemEnabled(m_inside);
    const bool checked = m_inside && m_settings.AutoRun;
    m_desktop.SetMonitoringItemChecked(checked);
    if (checked != m_monitoring.MonitoringActive()) {
        m_monitoring.SetMonitoring(checked);
    }
}

void Schedule::ReloadAfterSave()
{
    m_timer4.SetEnabled(false);
    struct RestartTimer
    {
        Timer& timer;
        ~RestartTimer() { timer.SetEnabled(true); }
    } restart{m_timer4};
    m_readAt = 0.0;
    CheckSchedule();
}

} // namespace ornel
