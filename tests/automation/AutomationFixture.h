// The automation as TFMain puts it together, over fake timers on one fake clock, a fake
// outgoing-folder watcher, a recording desktop and a real event log in a temp folder.
// The cycles are stand-ins that switch the automation off and on as a real cycle does.
#pragma once

#include "RecordingWatcher.h"
#include "automation/CycleAutomation.h"
#include "automation/Monitoring.h"
#include "engine/EventLog.h"
#include "platform/DateTime.h"
#include "settings/RuntimeSettings.h"
#include "support/FakeClock.h"
#include "support/RecordingDesktop.h"
#include "support/TempFolder.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace ornel::test
{

// Monday 7 December 2026.
inline double Monday(int hour, int minute, int second = 0)
{
    return EncodeDateTime({2026, 12, 7, hour, minute, second, 0});
}

class AutomationFixture : public ::testing::Test
{
protected:
    explicit AutomationFixture(double start = Monday(10, 0))
        : clock(start)
        , timer1(clock.MakeTimer())
        , timer2(clock.MakeTimer())
        , timer3(clock.MakeTimer())
        , timer4(clock.MakeTimer())
        , log(desktop, clock, settings)
        , monitoring(log, clock, settings, desktop, MonitoringParts{*timer1, *timer2, *timer3, watcher})
        , automation(monitoring, *timer4, settings)
    {
        log.Open(temp.Path());
        settings.AutoRun = true;
        monitoring.SetRunSendReceive([this] { Cycle("send-receive"); });
        monitoring.SetRunReceiveSend([this] { Cycle("receive-send"); });
        monitoring.SetPostBoxFileCount([this] { return postBoxFiles; });
    }

    // No periodic cycle within the test's time.
    void Quiet() { monitoring.SetInterval(10000); }

    // A cycle that takes `cycleMs` of blocking time between switching off and on.
    void Cycle(const std::string& kind)
    {
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        cycles.push_back({kind, clock.Now()});
        automation.SuspendForCycle();
        if (cycleMs > 0) {
            clock.Advance(std::chrono::milliseconds(cycleMs));
        }
        if (afterCycle) {
            afterCycle();
        }
        automation.ResumeAfterCycle();
        --depth;
    }

    // Milliseconds from `from` to the start of cycle `index`.
    [[nodiscard]] long long CycleAt(std::size_t index, double from) const
    {
        return std::llround((cycles.at(index).at - from) * 86400000.0);
    }

    [[nodiscard]] long long Count(const std::string& endsWith) const
    {
        return std::count_if(desktop.ProtocolLines.begin(), desktop.ProtocolLines.end(),
                             [&](const std::string& l) {
                                 return l.size() >= endsWith.size() &&
                                        l.compare(l.size() - endsWith.size(), endsWith.size(), endsWith) == 0;
                             });
    }

    struct CycleRun
    {
        std::string kind;
        double at;
    };

    TempFolder temp;
    FakeClock clock;
    std::unique_ptr<FakeTimer> timer1;
    std::unique_ptr<FakeTimer> timer2;
    std::unique_ptr<FakeTimer> timer3;
    std::unique_ptr<FakeTimer> timer4;
    RecordingWatcher watcher;
    RecordingDesktop desktop;
    RuntimeSettings settings;
    EventLog log;
    Monitoring monitoring;
    CycleAutomation automation;

    int postBoxFiles = 0;
    int cycleMs = 0;
    std::function<void()> afterCycle;
    std::vector<CycleRun> cycles;
    int depth = 0;
    int maxDepth = 0;
};

inline const std::string kNewFile = " Обнаружен новый файл. Ожидание дополнительных файлов...";

} // namespace ornel::test
