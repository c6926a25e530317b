#include "automation/Monitoring.h"

#include "engine/Desktop.h"
#include "engine/EngineContext.h"
#include "engine/EventLog.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/FolderWatcher.h"
#include "platform/Timer.h"
#include "settings/RuntimeSettings.h"

#include <chrono>
#include <exception>
#include <limits>

namespace ornel
{

namespace
{

constexpr std::chrono::milliseconds kStartPeriod{1000};
constexpr std::chrono::milliseconds kTimer3Period{60000};

std::chrono::milliseconds Minutes(int minutes)
{
    return std::chrono::milliseconds(static_cast<std::int64_t>(minutes) * 60000);
}

std::chrono::milliseconds Seconds(int seconds)
{
    return std::chrono::milliseconds(static_cast<std::int64_t>(seconds) * 1000);
}

} // namespace

Monitoring::Monitoring(EventLog& log, const Clock& clock, RuntimeSettings& settings, Desktop& desktop,
                       MonitoringParts parts)
    : m_log(log)
    , m_clock(clock)
    , m_settings(settings)
    , m_desktop(desktop)
    , m_timer1(parts.timer1)
    , m_timer2(parts.timer2)
    , m_timer3(parts.timer3)
    , m_folderMonitor(parts.folderMonitor)
{
    // Until the setters run, both timers keep the one-second period they are created with:
    // a store without Interval or Pause relies on it.
    m_timer1.SetEnabled(false);
    m_timer1.SetInterval(kStartPeriod);
    m_timer1.SetOnTimer([this] { Timer1Timer(); });
    m_timer2.SetEnabled(false);
    m_timer2.SetInterval(kStartPeriod);
    m_timer2.SetOnTimer([this] { Timer2Timer(); });
    m_timer3.SetInterval(kTimer3Period);
    m_timer3.SetOnTimer([this] { Timer3Timer(); });
    m_timer3.SetEnabled(true);
    m_folderMonitor.SetFilter(WatchFilter::Size);
    m_folderMonitor.SetMonitorSubtree(true);
    m_folderMonitor.SetOnChange([this] { FolderMonitorChange(); });
}

Monitoring::Monitoring(EngineContext& context, MonitoringParts parts)
    : Monitoring(context.log, context.clock, context.settings, context.desktop, parts)
{}

Monitoring::~Monitoring()
{
    // The timers and the watcher outlive this object in TFMain; nothing may call back into
    // it afterwards.
    m_timer1.SetOnTimer({});
    m_timer2.SetOnTimer({});
    m_timer3.SetOnTimer({});
    m_folderMonitor.SetOnChange({});
}

std::string Monitoring::TimeNow() const
{
    return FormatDateTime("hh:nn:ss", m_clock.Now());
}

void Monitoring::SetMonitoring(bool on)
{
    int pending = 0;
    if (on && !m_monitoringActive && m_postBoxFileCount) {
        pending = m_postBoxFileCount();
    }
    m_monitoringActive = on;
    m_timer1.SetEnabled(on);
    std::exception_ptr watcherError;
    try {
        m_folderMonitor.SetActive(on);
    } catch (const std::exception&) {
        // Finish the switch first, so the log line tells the truth and the periodic check
        // runs; the caller still gets the system's refusal.
        watcherError = std::current_exception();
    }
    m_log.AddLog(TimeNow() + " Мониторинг: FTP " + (m_timer1.Enabled() ? "включен" : "выключен") +
                 ", Каталога PostBox " + (m_folderMonitor.Active() ? "включен" : "выключен"));
    if (m_onImage) {
        m_onImage(m_monitoringActive ? kImageActive : kImageInactive);
    }
    if (m_monitoringActive && pending > 0) {
        FolderMonitorChange();
    }
    if (watcherError) {
        std::rethrow_exception(watcherError);
    }
}

void Monitoring::SetMonitoringWanted(bool on)
{
    m_settings.AutoRun = on;
    SetMonitoring(on);
    m_desktop.SetMonitoringItemChecked(on);
}

int Monitoring::NonNegative(const char* name, int value)
{
    if (value >= 0) {
        return value;
    }
    m_log.AddLog(TimeNow() + " Недопустимое значение " + name + " (" + std::to_string(value) +
                 "), используется 0");
    return 0;
}

void Monitoring::SetInterval(int minutes)
{
    minutes = NonNegative("Interval", minutes);
    if (minutes == m_settings.Interval) {
        return;
    }
    m_settings.Interval = minutes;
    const bool wasRunning = m_timer1.Enabled();
    m_timer1.SetEnabled(false);
    m_timer1.SetInterval(Minutes(minutes));
    m_timer1.SetEnabled(wasRunning);
}

void Monitoring::SetPause(int seconds)
{
    seconds = NonNegative("Pause", seconds);
    m_settings.Pause = seconds;
    // Only a different period restarts a running countdown's phase, whatever the timer
    // implementation does with an equal one.
    if (m_timer2.Interval() != Seconds(seconds)) {
        m_timer2.SetInterval(Seconds(seconds));
    }
}

void Monitoring::FolderMonitorChange()
{
    m_log.AddLog(TimeNow() + " Обнаружен новый файл. Ожидание дополнительных файлов...");
    StartCountdown(m_settings.Pause);
    // A running countdown keeps its phase: only the count was reset.
    if (!m_timer2.Enabled()) {
        m_timer2.SetEnabled(true);
    }
}

void Monitoring::StartCountdown(int ticks)
{
    m_countdown = ticks;
    if (ticks != 0) {
        return;
    }
    m_timer2.SetEnabled(false);
    RunSendReceiveFromCountdown();
}

void Monitoring::RunSendReceiveFromCountdown()
{
    if (m_countdownCycleRunning) {
        // The end of the cycle that this countdown started found files still waiting and
        // counted down to 0 at once: run the next cycle after this one returns, rather than
        // inside it, so a file that stays in the post box cannot grow the stack.
        m_countdownCycleAgain = true;
        return;
    }
    struct Running
    {
        bool& flag;
        explicit Running(bool& f)
            : flag(f)
        {
            flag = true;
        }
        ~Running() { flag = false; }
    } running(m_countdownCycleRunning);
    do {
        m_countdownCycleAgain = false;
        if (m_runSendReceive) {
            m_runSendReceive();
        }
    } while (m_countdownCycleAgain);
}

void Monitoring::Timer1Timer()
{
    if (m_runReceiveSend) {
        m_runReceiveSend();
    }
}

void Monitoring::Timer2Timer()
{
    // Below zero (Pause 0 with the one-second period) the count has no effect; it only
    // must not wrap around to a positive number.
    if (m_countdown == std::numeric_limits<int>::min()) {
        return;
    }
    StartCountdown(m_countdown - 1);
}

void Monitoring::StopCountdown()
{
    m_timer2.SetEnabled(false);
}

} // namespace ornel
