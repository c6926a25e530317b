// Automatic monitoring: the periodic check (Timer1), the quiet-period countdown after a
// change in the outgoing post box (Timer2 and FolderMonitor) and the monitoring switch.
// Owned by TFMain; UI thread only (watcher notices arrive there through the EventLoop).
//
// Wiring, as TFMain does it:
//   MonitoringParts parts{*timer1, *timer2, *timer3, *folderMonitor};
//   auto monitoring = std::make_unique<Monitoring>(context, parts);
//   monitoring->SetRunSendReceive([this] { RunSendReceive(); });
//   monitoring->SetRunReceiveSend([this] { RunReceiveSend(); });
//   monitoring->SetPostBoxFileCount([this] { return moves.CountFiles(settings.PostBoxOut, false); });
// The constructor takes the timers' and the watcher's tick and change handlers; Timer3
// is set to 60 s and started (its tick does nothing, there is no keep-alive).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ornel
{

class Clock;
class Desktop;
class EventLog;
class FolderWatcher;
class Timer;
struct EngineContext;
struct RuntimeSettings;

struct MonitoringParts
{
    Timer& timer1;                // periodic receive-first cycle every Interval minutes
    Timer& timer2;                // countdown ticks, every Pause seconds
    Timer& timer3;                // ticks every minute without effect
    FolderWatcher& folderMonitor; // the outgoing post box, sizes only, with subfolders
};

class Monitoring
{
public:
    // The menu item's image while monitoring is on and while it is off.
    static constexpr int kImageActive = 1;
    static constexpr int kImageInactive = 9;

    Monitoring(EventLog& log, const Clock& clock, RuntimeSettings& settings, Desktop& desktop,
               MonitoringParts parts);
    Monitoring(EngineContext& context, MonitoringParts parts);
    ~Monitoring();
    Monitoring(const Monitoring&) = delete;
    Monitoring& operator=(const Monitoring&) = delete;

    void SetRunSendReceive(std::function<void()> run) { m_runSendReceive = std::move(run); }
    void SetRunReceiveSend(std::function<void()> run) { m_runReceiveSend = std::move(run); }
    // Files directly in PostBoxOut, counted without writing to the log.
    void SetPostBoxFileCount(std::function<int()> count) { m_postBoxFileCount = std::move(count); }
    // The image of the "Мониторинг" menu item (kImageActive / kImageInactive); the desktop
    // has no call of its own for it.
    void SetOnImageChange(std::function<void(int)> onImage) { m_onImage = std::move(onImage); }

    // Switches Timer1 and FolderMonitor together and logs the state line. When the watcher
    // refuses to start, the switch is still completed (log line, image, waiting files) and
    // the watcher's error is thrown afterwards.
    void SetMonitoring(bool on);
    // The menu item "Мониторинг": the user's choice (the AutoRun field, not the store).
    void SetMonitoringWanted(bool on);
    // Setters of Interval (minutes) and Pause (seconds). Negative values (only a hand-
    // edited store holds them) are taken as 0, with a log line saying so.
    void SetInterval(int minutes);
    void SetPause(int seconds);

    // Handlers.
    void FolderMonitorChange();
    void StartCountdown(int ticks);
    void Timer1Timer();
    void Timer2Timer();
    void Timer3Timer() {}

    // Stops the countdown (the start of a cycle); the count is left as it is.
    void StopCountdown();

    [[nodiscard]] bool MonitoringActive() const { return m_monitoringActive; }
    [[nodiscard]] int Countdown() const { return m_countdown; }

private:
    [[nodiscard]] std::string TimeNow() const;
    [[nodiscard]] int NonNegative(const char* name, int value);
    void RunSendReceiveFromCountdown();

    EventLog& m_log;
    const Clock& m_clock;
    RuntimeSettings& m_settings;
    Desktop& m_desktop;
    Timer& m_timer1;
    Timer& m_timer2;
    Timer& m_timer3;
    FolderWatcher& m_folderMonitor;

    std::function<void()> m_runSendReceive;
    std::function<void()> m_runReceiveSend;
    std::function<int()> m_postBoxFileCount;
    std::function<void(int)> m_onImage;

    bool m_monitoringActive = false;
    int m_countdown = 0;
    // A countdown that reaches 0 while the cycle it started is still running (Pause 0 and
    // a file that stays in the post box) asks for another cycle instead of nesting one.
    bool m_countdownCycleRunning = false;
    bool m_countdownCycleAgain = false;
};

} // namespace ornel
