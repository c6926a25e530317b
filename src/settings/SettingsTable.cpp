#include "settings/SettingsTable.h"

#include "platform/RegFile.h"

#include <array>
#include <string>

namespace ornel
{

namespace
{

using K = SettingKind;
using U = StartupUse;

constexpr double kPickerDate = 1.0; // 31 December 1899, the date part of an untouched time picker
constexpr double kHalfPastNine = kPickerDate + 9.5 / 24;
constexpr double kHalfPastFive = kPickerDate + 17.5 / 24;
constexpr double kHalfPastFour = kPickerDate + 16.5 / 24;

constexpr SettingInfo Text(std::string_view name, std::string_view dialog, U use = U::IfPresent)
{
    return {name, K::Text, {dialog}, {}, use};
}
constexpr SettingInfo Integer(std::string_view name, std::int32_t dialog, std::int32_t startup,
                              U use = U::IfPresent)
{
    return {name, K::Integer, {{}, dialog}, {{}, startup}, use};
}
constexpr SettingInfo Flag(std::string_view name, bool dialog, bool startup, U use = U::IfPresent)
{
    return {name, K::Flag, {{}, dialog ? 1 : 0}, {{}, startup ? 1 : 0}, use};
}
constexpr SettingInfo Secret(std::string_view name, std::string_view dialog, U use = U::IfPresent)
{
    return {name, K::Secret, {dialog}, {}, use};
}

constexpr std::array<SettingInfo, 48> kConfiguration = {
    Text("FtpOut", "Out"),
    Text("FtpIn", "In"),
    Text("TempSend", ""),
    Text("TempReciv", ""),
    Integer("Interval", 30, 0),
    Text("IP", "0.0.0.0"),
    Integer("Port", 21, 0),
    Flag("Passive", false, false),
    Text("User", ""),
    Text("Password", ""),
    Text("ArcSend", ""),
    Text("ArcReciv", ""),
    Text("ArcSend2", ""),
    Text("ArcReciv2", ""),
    Text("PostBoxOut", "c:\\DEPO\\POSTBOX\\00010000\\Out"),
    Text("PostBoxIn", "c:\\DEPO\\POSTBOX\\00010000\\In"),
    Text("UnKnOwn", "c:\\DEPO\\UnKnOwn"),
    Flag("UnKnOwnMonitoring", false, false),
    Flag("ERRMonitoring", false, false),
    Flag("AutoRun", false, false),
    Flag("ShowBallonHint", true, true),
    Integer("BallonHintCountLines", 5, 5),
    Flag("NotUseCrypt", false, false),
    Flag("AutoConnect", false, false, U::NotRead),
    Flag("PlaySound", false, false),
    Flag("PlaySoundFTP", false, false),
    Flag("PlaySoundERR", false, false),
    Flag("PlaySoundUnknown", false, false),
    Text("PlayStart", ""),
    Text("PlayFTP", ""),
    Text("PlayERR", ""),
    Text("PlayUnknown", ""),
    Flag("SoundOFF", true, true),
    Text("ERRExt", ".dat"),
    Flag("WindowERR", false, false),
    Flag("WindowUnknown", false, false),
    Text("CryptProgNew", "clbat.exe"),
    Secret("PIN", "        "),
    Secret("UPIN", "        "),
    Text("KodSend", "00010000"),
    Integer("WindowType", 0, 0),
    Integer("Pause", 5, 0),
    Flag("Proxy", false, false, U::ProxyRule),
    Integer("ProxyType", -1, 0, U::ProxyRule),
    Text("ProxyAdr", "", U::ProxyRule),
    Integer("ProxyPort", 80, 0, U::ProxyRule),
    Text("ProxyUser", "", U::ProxyRule),
    Secret("ProxyPaswd", "", U::ProxyRule),
};

// Values the loader and the .reg import know but the options dialog neither shows nor
// writes, so a save keeps what an administrator put there.
constexpr std::array<SettingInfo, 1> kStoreOnly = {
    Integer("CryptTimeout", 60, 60), // minutes the encryption program may run
};

constexpr bool kWeekEnabled[7] = {true, true, true, true, true, false, false};
constexpr double kStart[7] = {kHalfPastNine, kHalfPastNine, kHalfPastNine, kHalfPastNine,
                              kHalfPastNine, kPickerDate,   kPickerDate};
constexpr double kStop[7] = {kHalfPastFive, kHalfPastFive, kHalfPastFive, kHalfPastFive,
                             kHalfPastFour, kPickerDate,   kPickerDate};

constexpr SettingInfo ScheduleFlag(std::string_view name, int day)
{
    const std::int32_t on = kWeekEnabled[day - 1] ? 1 : 0;
    return {name, K::Flag, {{}, on}, {{}, on}, U::Schedule};
}
constexpr SettingInfo ScheduleTime(std::string_view name, double value)
{
    return {name, K::Time, {{}, 0, value}, {{}, 0, value}, U::Schedule};
}

constexpr std::array<SettingInfo, 21> kSchedule = {
    ScheduleFlag("Week1", 1), ScheduleTime("Start1", kStart[0]), ScheduleTime("Stop1", kStop[0]),
    ScheduleFlag("Week2", 2), ScheduleTime("Start2", kStart[1]), ScheduleTime("Stop2", kStop[1]),
    ScheduleFlag("Week3", 3), ScheduleTime("Start3", kStart[2]), ScheduleTime("Stop3", kStop[2]),
    ScheduleFlag("Week4", 4), ScheduleTime("Start4", kStart[3]), ScheduleTime("Stop4", kStop[3]),
    ScheduleFlag("Week5", 5), ScheduleTime("Start5", kStart[4]), ScheduleTime("Stop5", kStop[4]),
    ScheduleFlag("Week6", 6), ScheduleTime("Start6", kStart[5]), ScheduleTime("Stop6", kStop[5]),
    ScheduleFlag("Week7", 7), ScheduleTime("Start7", kStart[6]), ScheduleTime("Stop7", kStop[6]),
};

constexpr std::array<SettingInfo, 4> kCounters = {
    SettingInfo{"FileSendCount", K::Integer, {}, {}, U::NotRead},
    SettingInfo{"FileSendSize", K::Real, {}, {}, U::NotRead},
    SettingInfo{"FileReciveCount", K::Integer, {}, {}, U::NotRead},
    SettingInfo{"FileReciveSize", K::Real, {}, {}, U::NotRead},
};

const SettingInfo* FindIn(std::span<const SettingInfo> table, std::string_view name)
{
    for (const SettingInfo& info : table) {
        if (RegNamesEqual(info.Name, name))
            return &info;
    }
    return nullptr;
}

int DayIndex(int weekday)
{
    return weekday < 1 ? 0 : weekday > 7 ? 6 : weekday - 1;
}

} // namespace

std::span<const SettingInfo> ConfigurationSettings()
{
    return kConfiguration;
}

std::span<const SettingInfo> ScheduleSettings()
{
    return kSchedule;
}

std::span<const SettingInfo> CounterSettings()
{
    return kCounters;
}

std::span<const SettingInfo> StoreOnlySettings()
{
    return kStoreOnly;
}

const SettingInfo* FindSetting(std::string_view name)
{
    for (const auto table : {ConfigurationSettings(), ScheduleSettings(), StoreOnlySettings()}) {
        if (const SettingInfo* found = FindIn(table, name))
            return found;
    }
    return nullptr;
}

const SettingInfo* FindCounter(std::string_view name)
{
    return FindIn(kCounters, name);
}

bool DefaultWeekEnabled(int weekday)
{
    return kWeekEnabled[DayIndex(weekday)];
}

double DefaultScheduleStart(int weekday)
{
    return kStart[DayIndex(weekday)];
}

double DefaultScheduleStop(int weekday)
{
    return kStop[DayIndex(weekday)];
}

} // namespace ornel
