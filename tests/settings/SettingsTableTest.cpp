#include "settings/SettingsTable.h"

#include "platform/RegFile.h"
#include "settings/RuntimeSettings.h"

#include <gtest/gtest.h>
#include <string>

namespace ornel::test
{

namespace
{

std::vector<std::string> Names(std::span<const SettingInfo> table)
{
    std::vector<std::string> names;
    for (const SettingInfo& info : table)
        names.emplace_back(info.Name);
    return names;
}

} // namespace

TEST(SettingsTable, HoldsEveryValueOnceInTheDialogsWriteOrder)
{
    const auto config = Names(ConfigurationSettings());
    ASSERT_EQ(config.size(), 48u);
    EXPECT_EQ(std::vector<std::string>(config.begin(), config.begin() + 8),
              (std::vector<std::string>{"FtpOut", "FtpIn", "TempSend", "TempReciv", "Interval", "IP", "Port",
                                        "Passive"}));
    EXPECT_EQ(config[23], "AutoConnect");
    EXPECT_EQ(config.back(), "ProxyPaswd");

    const auto schedule = Names(ScheduleSettings());
    ASSERT_EQ(schedule.size(), 21u);
    for (int day = 1; day <= 7; ++day) {
        EXPECT_EQ(schedule[3 * (day - 1)], "Week" + std::to_string(day));
        EXPECT_EQ(schedule[3 * (day - 1) + 1], "Start" + std::to_string(day));
        EXPECT_EQ(schedule[3 * (day - 1) + 2], "Stop" + std::to_string(day));
    }

    for (const auto& name : config)
        EXPECT_EQ(FindSetting(name)->Name, name);
    for (const auto& name : schedule)
        EXPECT_EQ(FindSetting(name)->Name, name);
    for (const SettingInfo& a : ConfigurationSettings())
        for (const SettingInfo& b : ScheduleSettings())
            EXPECT_FALSE(RegNamesEqual(a.Name, b.Name));
    EXPECT_EQ(FindSetting("WindowUnkNown")->Name, "WindowUnknown");
    EXPECT_EQ(FindSetting("playsoundunknown")->Name, "PlaySoundUnknown");
    EXPECT_EQ(FindSetting("FileSendCount"), nullptr);
    EXPECT_EQ(FindCounter("filesendsize")->Kind, SettingKind::Real);
}

TEST(SettingsTable, KindsAndDefaultsMatchTheStoredFormat)
{
    int secrets = 0;
    for (const SettingInfo& info : ConfigurationSettings())
        secrets += info.Kind == SettingKind::Secret ? 1 : 0;
    EXPECT_EQ(secrets, 3);
    EXPECT_EQ(FindSetting("PIN")->Kind, SettingKind::Secret);
    EXPECT_EQ(FindSetting("Password")->Kind, SettingKind::Text); // the FTP password is stored plain
    EXPECT_EQ(FindSetting("PIN")->Dialog.Text, "        ");
    EXPECT_EQ(FindSetting("ProxyType")->Dialog.Number, -1);
    EXPECT_EQ(FindSetting("AutoConnect")->Use, StartupUse::NotRead);
    EXPECT_EQ(FindSetting("ProxyUser")->Use, StartupUse::ProxyRule);
    EXPECT_EQ(FindSetting("Interval")->Dialog.Number, 30);
    EXPECT_EQ(FindSetting("Interval")->Startup.Number, 0);

    // The runtime record starts out holding the start-up defaults.
    const RuntimeSettings record;
    EXPECT_EQ(record.ShowBallonHint, FindSetting("ShowBallonHint")->Startup.Number != 0);
    EXPECT_EQ(record.SoundOFF, FindSetting("SoundOFF")->Startup.Number != 0);
    EXPECT_EQ(record.BallonHintCountLines, FindSetting("BallonHintCountLines")->Startup.Number);
    EXPECT_EQ(record.Port, FindSetting("Port")->Startup.Number);

    // Known to the loader and the import, left alone by the dialog.
    const SettingInfo* timeout = FindSetting("crypttimeout");
    ASSERT_NE(timeout, nullptr);
    EXPECT_EQ(timeout->Name, "CryptTimeout");
    EXPECT_EQ(timeout->Kind, SettingKind::Integer);
    EXPECT_EQ(record.CryptTimeout, timeout->Startup.Number);
    EXPECT_EQ(record.CryptTimeout, 60);
    for (const SettingInfo& info : ConfigurationSettings())
        EXPECT_NE(info.Name, "CryptTimeout");
}

TEST(SettingsTable, ScheduleDefaultsKeepThePickersDatePart)
{
    EXPECT_NEAR(FindSetting("Start1")->Dialog.Time, 1.3958333333, 1e-9);
    EXPECT_NEAR(FindSetting("Stop1")->Dialog.Time, 1.7291666667, 1e-9);
    EXPECT_DOUBLE_EQ(FindSetting("Stop5")->Dialog.Time, 1.6875);
    EXPECT_DOUBLE_EQ(FindSetting("Start6")->Dialog.Time, 1.0);
    EXPECT_EQ(FindSetting("Week5")->Dialog.Number, 1);
    EXPECT_EQ(FindSetting("Week6")->Dialog.Number, 0);
    for (int day = 1; day <= 7; ++day) {
        const std::string d = std::to_string(day);
        EXPECT_EQ(DefaultWeekEnabled(day), FindSetting("Week" + d)->Dialog.Number != 0);
        EXPECT_DOUBLE_EQ(DefaultScheduleStart(day), FindSetting("Start" + d)->Dialog.Time);
        EXPECT_DOUBLE_EQ(DefaultScheduleStop(day), FindSetting("Stop" + d)->Dialog.Time);
        EXPECT_EQ(FindSetting("Stop" + d)->Use, StartupUse::Schedule);
    }
}

} // namespace ornel::test
