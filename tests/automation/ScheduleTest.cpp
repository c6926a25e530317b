#include "automation/Schedule.h"

#include "AutomationFixture.h"
#include "platform/RegistryStore.h"

#include <chrono>

using namespace std::chrono_literals;

namespace ornel::test
{

namespace
{

double At(int day, int hour, int minute, int second = 0)
{
    return EncodeDateTime({2026, 12, day, hour, minute, second, 0}); // 7 = Monday ... 13 = Sunday
}

class ScheduleTest : public AutomationFixture
{
protected:
    ScheduleTest()
        : registry(temp.Path() / "registry")
        , schedule(registry, clock, settings, desktop, monitoring, *timer4)
    {
        Quiet();
    }

    RegistryKey Options() { return registry.OpenKey(Hive::LocalMachine, Schedule::kOptionsKey); }

    // Start-up as TFMain runs it: first check, off when unchecked, Timer4 on.
    void StartUp(double moment)
    {
        clock.Set(moment);
        schedule.SetScheduleReadAt(0);
        schedule.CheckSchedule();
        if (!desktop.MonitoringItemChecked()) {
            monitoring.SetMonitoring(false);
        }
        timer4->SetEnabled(true);
    }

    RegistryStore registry;
    Schedule schedule;
};

TEST_F(ScheduleTest, TheMondayWindowOpensAtNineThirtyExactly)
{
    StartUp(At(7, 9, 29, 0));
    EXPECT_FALSE(desktop.MonitoringEnabled);
    EXPECT_FALSE(desktop.MonitoringChecked);
    EXPECT_FALSE(monitoring.MonitoringActive());
    EXPECT_EQ(desktop.ProtocolLines.back(), "09:29:00 Мониторинг: FTP выключен, Каталога PostBox выключен");

    clock.Set(At(7, 9, 29, 59));
    schedule.EvaluateSchedule();
    EXPECT_FALSE(desktop.MonitoringEnabled);

    clock.Set(At(7, 9, 29, 0));
    clock.Advance(60s); // the tick at 09:30:00
    EXPECT_TRUE(desktop.MonitoringEnabled);
    EXPECT_TRUE(desktop.MonitoringChecked);
    EXPECT_TRUE(monitoring.MonitoringActive());
    EXPECT_EQ(desktop.ProtocolLines.back(), "09:30:00 Мониторинг: FTP включен, Каталога PostBox включен");
}

TEST_F(ScheduleTest, WithoutAutoRunTheWindowOnlyEnablesTheMenuItem)
{
    settings.AutoRun = false;
    StartUp(At(7, 9, 30));
    EXPECT_TRUE(desktop.MonitoringEnabled);
    EXPECT_FALSE(desktop.MonitoringChecked);
    EXPECT_FALSE(monitoring.MonitoringActive());
}

TEST_F(ScheduleTest, TheWindowClosesAfterItsStopMinute)
{
    StartUp(At(7, 17, 29));
    clock.Advance(60s); // 17:30:00 exactly still belongs to the window
    EXPECT_TRUE(monitoring.MonitoringActive());
    clock.Advance(60s);
    EXPECT_FALSE(monitoring.MonitoringActive());
    EXPECT_FALSE(desktop.MonitoringEnabled);
}

TEST_F(ScheduleTest, OddWindowsFromTheStore)
{
    // As the dialog writes times: the picker's date (1.0) plus the time of day.
    auto key = Options();
    key.WriteFloat("Start1", 1.0 + 12.0 / 24.0);
    key.WriteFloat("Stop1", 1.0 + 12.0 / 24.0);
    StartUp(At(7, 11, 59));
    EXPECT_DOUBLE_EQ(schedule.Window().Start, 0.5);
    EXPECT_FALSE(schedule.Inside());
    clock.Advance(60s);
    EXPECT_TRUE(schedule.Inside()); // the single instant 12:00:00
    clock.Advance(60s);
    EXPECT_FALSE(schedule.Inside());

    // Across midnight: never inside, neither late nor early.
    key.WriteFloat("Start1", 1.0 + 22.0 / 24.0);
    key.WriteFloat("Stop1", 1.0 + 6.0 / 24.0);
    for (const double moment : {At(7, 23, 0), At(7, 3, 0), At(7, 22, 0), At(7, 6, 0)}) {
        clock.Set(moment);
        schedule.ReloadAfterSave();
        EXPECT_FALSE(schedule.Inside());
        EXPECT_FALSE(monitoring.MonitoringActive());
    }

    // A day switched off, and a weekend day switched on.
    key.WriteBool("Week1", false);
    key.WriteBool("Week6", true);
    key.WriteFloat("Start6", 1.0 + 8.0 / 24.0);
    key.WriteFloat("Stop6", 1.0 + 9.0 / 24.0);
    clock.Set(At(7, 12, 0));
    schedule.ReloadAfterSave();
    EXPECT_FALSE(schedule.Inside());
    clock.Set(At(12, 8, 30));
    schedule.ReloadAfterSave();
    EXPECT_TRUE(schedule.Inside());
    EXPECT_TRUE(timer4->Enabled());
}

TEST_F(ScheduleTest, FridaysWindowStaysInForceUntilADayAfterItsReading)
{
    StartUp(At(11, 10, 0)); // Friday
    EXPECT_TRUE(monitoring.MonitoringActive());
    clock.Advance(7h); // 17:00: past Friday's 16:30
    EXPECT_FALSE(monitoring.MonitoringActive());

    clock.Set(At(11, 17, 0));
    clock.Advance(16h + 29min); // Saturday 09:29, Friday's window still read
    EXPECT_FALSE(monitoring.MonitoringActive());
    clock.Advance(1min);
    EXPECT_TRUE(monitoring.MonitoringActive()) << "Saturday 09:30 under Friday's window";
    EXPECT_TRUE(desktop.MonitoringEnabled);
    clock.Advance(30min); // Saturday 10:00: a day since the reading
    EXPECT_FALSE(monitoring.MonitoringActive());
    EXPECT_FALSE(desktop.MonitoringEnabled);
    EXPECT_NEAR(schedule.ScheduleReadAt(), At(12, 10, 0), 1e-9);
    clock.Advance(6h);
    EXPECT_FALSE(desktop.MonitoringEnabled);
}

TEST_F(ScheduleTest, AManualCycleOutsideTheWindowLeavesMonitoringOnUntilTheNextCheck)
{
    StartUp(At(7, 18, 0));
    EXPECT_FALSE(monitoring.MonitoringActive());
    clock.Advance(30s);
    automation.SuspendForCycle();
    clock.Advance(10s);
    automation.ResumeAfterCycle();
    EXPECT_TRUE(monitoring.MonitoringActive());
    clock.Advance(60s - 1ms);
    EXPECT_TRUE(monitoring.MonitoringActive());
    clock.Advance(1ms); // 60 s after the cycle's end
    EXPECT_FALSE(monitoring.MonitoringActive());
}

TEST_F(ScheduleTest, UntickingTheMenuItemHoldsMonitoringOffOnTheFollowingDays)
{
    StartUp(At(7, 10, 0));
    ASSERT_TRUE(monitoring.MonitoringActive());
    desktop.MonitoringChecked = false; // the item toggles its own mark first
    monitoring.SetMonitoringWanted(false);
    EXPECT_FALSE(monitoring.MonitoringActive());
    clock.Advance(48h);
    EXPECT_FALSE(monitoring.MonitoringActive());
    EXPECT_TRUE(desktop.MonitoringEnabled); // Wednesday 10:00, inside the window
    EXPECT_FALSE(desktop.MonitoringChecked);
    EXPECT_FALSE(Options().ValueExists("AutoRun"));
}

TEST_F(ScheduleTest, AValueOfTheWrongKindKeepsThePreviousWindowForADay)
{
    StartUp(At(7, 10, 0));
    Options().WriteString("Start2", "09:30");
    clock.Set(At(8, 10, 0)); // Tuesday: a day later, the next reading fails
    try {
        schedule.CheckSchedule();
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'Start2'");
    }
    EXPECT_NEAR(schedule.ScheduleReadAt(), At(8, 10, 0), 1e-9);
    EXPECT_TRUE(schedule.Window().DayEnabled);
    EXPECT_NO_THROW(schedule.CheckSchedule()); // Monday's window evaluated until then

    // A reading after a save that fails leaves Timer4 running.
    EXPECT_THROW(schedule.ReloadAfterSave(), std::runtime_error);
    EXPECT_TRUE(timer4->Enabled());
}

TEST_F(ScheduleTest, AClockSetBackReadsTheWindowAgain)
{
    StartUp(At(9, 10, 0));
    clock.Set(At(7, 10, 0));
    Options().WriteBool("Week1", false);
    schedule.CheckSchedule();
    EXPECT_FALSE(schedule.Window().DayEnabled);
    EXPECT_NEAR(schedule.ScheduleReadAt(), At(7, 10, 0), 1e-9);
}

} // namespace

} // namespace ornel::test
