#include "AutomationFixture.h"

#include <chrono>

using namespace std::chrono_literals;

namespace ornel::test
{

namespace
{

class MonitoringTest : public AutomationFixture
{
};

TEST_F(MonitoringTest, OneChangeStartsTheSendFirstCycleAfterPauseTimesPauseSeconds)
{
    Quiet();
    monitoring.SetPause(5);
    monitoring.SetMonitoring(true);
    const double changed = clock.Now();
    watcher.Fire();
    EXPECT_EQ(desktop.ProtocolLines.back(), "10:00:00" + kNewFile);
    EXPECT_EQ(monitoring.Countdown(), 5);

    clock.Advance(24999ms);
    EXPECT_TRUE(cycles.empty());
    EXPECT_EQ(monitoring.Countdown(), 1);
    clock.Advance(1ms);
    ASSERT_EQ(cycles.size(), 1u);
    EXPECT_EQ(cycles[0].kind, "send-receive");
    EXPECT_EQ(CycleAt(0, changed), 25000);
    // The cycle switched the countdown off, and nothing follows without a new change.
    EXPECT_FALSE(timer2->Enabled());
    clock.Advance(120s);
    EXPECT_EQ(cycles.size(), 1u);
}

TEST_F(MonitoringTest, AFurtherChangeResetsTheCountButKeepsTheTickPhase)
{
    Quiet();
    monitoring.SetPause(5);
    monitoring.SetMonitoring(true);
    watcher.Fire();
    clock.Advance(12s);
    const double second = clock.Now();
    watcher.Fire();
    clock.Advance(60s);
    ASSERT_EQ(cycles.size(), 1u);
    // Ticks stay at 15, 20, ... s after the first change: 5 more of them after the reset.
    EXPECT_EQ(CycleAt(0, second), 23000);
    EXPECT_EQ(Count(kNewFile), 2);
}

TEST_F(MonitoringTest, ShortAndMissingPauses)
{
    Quiet();
    // Pause 1: one tick of one second.
    monitoring.SetPause(1);
    monitoring.SetMonitoring(true);
    double changed = clock.Now();
    watcher.Fire();
    clock.Advance(999ms);
    EXPECT_TRUE(cycles.empty());
    clock.Advance(1ms);
    ASSERT_EQ(cycles.size(), 1u);
    EXPECT_EQ(CycleAt(0, changed), 1000);

    // Pause 0: the cycle runs inside the notice; Timer2 is switched on afterwards but a
    // period of 0 never ticks.
    monitoring.SetPause(0);
    changed = clock.Now();
    watcher.Fire();
    ASSERT_EQ(cycles.size(), 2u);
    EXPECT_EQ(CycleAt(1, changed), 0);
    EXPECT_TRUE(timer2->Enabled());
    EXPECT_EQ(timer2->RemainingMs(), -1);
    clock.Advance(1h);
    EXPECT_EQ(cycles.size(), 2u);
}

TEST_F(MonitoringTest, PauseAbsentRunsAtOnceAndTheCountRunsBelowZeroHarmlessly)
{
    Quiet();
    monitoring.SetMonitoring(true);
    watcher.Fire();
    ASSERT_EQ(cycles.size(), 1u);
    EXPECT_TRUE(timer2->Enabled());
    EXPECT_EQ(timer2->Interval(), 1000ms);
    clock.Advance(10s);
    EXPECT_EQ(cycles.size(), 1u);
    EXPECT_EQ(monitoring.Countdown(), -10);
    // The next cycle stops the countdown.
    automation.SuspendForCycle();
    EXPECT_FALSE(timer2->Enabled());
}

TEST_F(MonitoringTest, AFileThatStaysWithPauseZeroIsRetriedAfterEachCycleWithoutNesting)
{
    Quiet();
    monitoring.SetPause(0);
    monitoring.SetMonitoring(true);
    postBoxFiles = 1; // a file the cycle cannot move
    afterCycle = [this] {
        if (cycles.size() == 5) {
            postBoxFiles = 0;
        }
    };
    watcher.Fire();
    EXPECT_EQ(cycles.size(), 5u);
    EXPECT_EQ(maxDepth, 1);
    EXPECT_TRUE(monitoring.MonitoringActive());
}

TEST_F(MonitoringTest, IntervalAbsentOrStoredAsZeroKeepsTheOneSecondPeriod)
{
    monitoring.SetInterval(0); // stored 0: the same as the held value, nothing changes
    EXPECT_EQ(timer1->Interval(), 1000ms);
    cycleMs = 300;
    monitoring.SetMonitoring(true);
    const double start = clock.Now();
    clock.Advance(2600ms);
    // Each receive-first cycle starts one second after the previous one ended.
    ASSERT_EQ(cycles.size(), 2u);
    EXPECT_EQ(cycles[0].kind, "receive-send");
    EXPECT_EQ(CycleAt(0, start), 1000);
    EXPECT_EQ(CycleAt(1, start), 2300);
    // A cycle that ends after the advance that started it leaves the clock at its end.
    clock.Advance(1000ms);
    ASSERT_EQ(cycles.size(), 3u);
    EXPECT_EQ(std::llround((clock.Now() - start) * 86400000.0), 3900);
    EXPECT_EQ(timer1->RemainingMs(), 1000);
}

TEST_F(MonitoringTest, IntervalChanges)
{
    afterCycle = [this] { EXPECT_FALSE(timer1->Enabled()); };
    // While Timer1 is off: the period changes, the timer stays off.
    monitoring.SetInterval(30);
    EXPECT_EQ(timer1->Interval(), 30min);
    EXPECT_FALSE(timer1->Enabled());

    monitoring.SetMonitoring(true);
    clock.Advance(20min);
    // A different value restarts the period; the same value leaves it alone.
    monitoring.SetInterval(15);
    clock.Advance(10min);
    monitoring.SetInterval(15);
    clock.Advance(5min - 1ms);
    EXPECT_TRUE(cycles.empty());
    clock.Advance(1ms);
    EXPECT_EQ(cycles.size(), 1u);

    // Changed to 0 in the dialog: no periodic checks at all.
    monitoring.SetInterval(0);
    EXPECT_TRUE(timer1->Enabled());
    clock.Advance(24h);
    EXPECT_EQ(cycles.size(), 1u);
    EXPECT_EQ(settings.Interval, 0);
}

TEST_F(MonitoringTest, NegativeValuesAreTakenAsZeroAndLogged)
{
    monitoring.SetInterval(10);
    monitoring.SetInterval(-5);
    EXPECT_EQ(settings.Interval, 0);
    EXPECT_EQ(timer1->Interval(), 0ms);
    EXPECT_EQ(desktop.ProtocolLines.back(), "10:00:00 Недопустимое значение Interval (-5), используется 0");

    monitoring.SetPause(-3);
    EXPECT_EQ(settings.Pause, 0);
    EXPECT_EQ(timer2->Interval(), 0ms);
    EXPECT_EQ(desktop.ProtocolLines.back(), "10:00:00 Недопустимое значение Pause (-3), используется 0");
    // With 0 the countdown ends at once instead of never reaching 0.
    monitoring.SetMonitoring(true);
    watcher.Fire();
    EXPECT_EQ(cycles.size(), 1u);
}

TEST_F(MonitoringTest, SwitchingOnWithFilesWaitingStartsTheCountdown)
{
    Quiet();
    monitoring.SetPause(5);
    postBoxFiles = 3;
    monitoring.SetMonitoring(true);
    ASSERT_GE(desktop.ProtocolLines.size(), 2u);
    const auto n = desktop.ProtocolLines.size();
    EXPECT_EQ(desktop.ProtocolLines[n - 2], "10:00:00 Мониторинг: FTP включен, Каталога PostBox включен");
    EXPECT_EQ(desktop.ProtocolLines[n - 1], "10:00:00" + kNewFile);
    EXPECT_TRUE(timer2->Enabled());
    clock.Advance(25s);
    ASSERT_EQ(cycles.size(), 1u);
    // The files are still there when the cycle switches monitoring back on.
    EXPECT_EQ(Count(kNewFile), 2);
    EXPECT_EQ(monitoring.Countdown(), 5);

    // Already on: switching on again does not count the files.
    monitoring.SetMonitoring(true);
    EXPECT_EQ(Count(kNewFile), 2);
}

TEST_F(MonitoringTest, TheSwitchLineShowsWhatRuns)
{
    std::vector<int> images;
    monitoring.SetOnImageChange([&](int i) { images.push_back(i); });
    watcher.FolderExists = false;
    monitoring.SetMonitoring(true);
    EXPECT_EQ(desktop.ProtocolLines.back(), "10:00:00 Мониторинг: FTP включен, Каталога PostBox выключен");
    EXPECT_TRUE(timer1->Enabled());
    monitoring.SetMonitoring(false);
    EXPECT_EQ(desktop.ProtocolLines.back(), "10:00:00 Мониторинг: FTP выключен, Каталога PostBox выключен");
    EXPECT_EQ(images, (std::vector<int>{Monitoring::kImageActive, Monitoring::kImageInactive}));
    EXPECT_EQ(watcher.Filter, WatchFilter::Size);
    EXPECT_TRUE(watcher.Subtree);
}

TEST_F(MonitoringTest, AWatcherThatIsRefusedStillLeavesTheSwitchComplete)
{
    watcher.Refuse = true;
    postBoxFiles = 2;
    monitoring.SetPause(5);
    EXPECT_THROW(monitoring.SetMonitoring(true), std::runtime_error);
    EXPECT_TRUE(monitoring.MonitoringActive());
    EXPECT_TRUE(timer1->Enabled());
    EXPECT_EQ(Count(" Мониторинг: FTP включен, Каталога PostBox выключен"), 1);
    EXPECT_EQ(Count(kNewFile), 1);

    // At the end of a cycle Timer4 runs again although the switch failed.
    automation.SuspendForCycle();
    EXPECT_FALSE(timer4->Enabled());
    settings.AutoRun = true;
    EXPECT_THROW(automation.ResumeAfterCycle(), std::runtime_error);
    EXPECT_TRUE(timer4->Enabled());
}

TEST_F(MonitoringTest, TheMenuItemSetsTheUsersChoiceOnly)
{
    monitoring.SetMonitoringWanted(true);
    EXPECT_TRUE(settings.AutoRun);
    EXPECT_TRUE(desktop.MonitoringChecked);
    EXPECT_TRUE(monitoring.MonitoringActive());
    monitoring.SetMonitoringWanted(false);
    EXPECT_FALSE(settings.AutoRun);
    EXPECT_FALSE(desktop.MonitoringChecked);
    EXPECT_FALSE(watcher.IsActive);
    EXPECT_FALSE(timer1->Enabled());
}

TEST_F(MonitoringTest, ACycleSuspendsEverythingAndRestoresTheUsersChoice)
{
    monitoring.SetPause(5);
    settings.AutoRun = false;
    monitoring.SetMonitoring(true);
    watcher.Fire();
    timer4->SetEnabled(true);
    automation.SuspendForCycle();
    EXPECT_FALSE(timer1->Enabled());
    EXPECT_FALSE(timer2->Enabled());
    EXPECT_FALSE(timer4->Enabled());
    EXPECT_FALSE(watcher.IsActive);
    automation.ResumeAfterCycle();
    // AutoRun off: monitoring stays off, the countdown is not resumed, Timer4 runs.
    EXPECT_FALSE(monitoring.MonitoringActive());
    EXPECT_FALSE(timer2->Enabled());
    EXPECT_TRUE(timer4->Enabled());
    EXPECT_EQ(timer4->RemainingMs(), timer4->Interval().count()); // a full period from now
}

} // namespace

} // namespace ornel::test
