// The one table of stored settings: names as stored, kinds, the defaults of the options
// dialog and of start-up, in the order the dialog writes them. Read by the loader, the
// options dialog and the .reg import. Constant data; any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace ornel
{

inline constexpr std::string_view kConfigurationKey = "\\SOFTWARE\\RUX\\ORNEL_FTP\\Options";
inline constexpr std::string_view kCounterKey = "\\SOFTWARE\\RUX\\ORNEL_FTP";

enum class SettingKind
{
    Text,    // REG_SZ (REG_EXPAND_SZ also read)
    Integer, // REG_DWORD, signed 32-bit
    Flag,    // REG_DWORD, written 1 or 0, non-zero reads as on
    Time,    // REG_BINARY, 8-byte little-endian double in date-time units
    Secret,  // REG_SZ holding the enciphered text
    Real,    // REG_BINARY, 8-byte little-endian double (the kilobyte counters)
};

// How start-up treats the value.
enum class StartupUse
{
    IfPresent, // read when present, else the start-up default
    NotRead,   // written by the dialog only (AutoConnect)
    ProxyRule, // applied with the other proxy values all together or not at all
    Schedule,  // not loaded: the schedule check reads it when needed
};

struct SettingDefault
{
    std::string_view Text;
    std::int32_t Number = 0; // integers; flags as 1 or 0
    double Time = 0.0;
};

struct SettingInfo
{
    std::string_view Name;
    SettingKind Kind;
    SettingDefault Dialog;  // shown by the dialog when the store lacks the value
    SettingDefault Startup; // held by the runtime record when the store lacks the value
    StartupUse Use;
};

// The 48 configuration values in the order the dialog writes them.
[[nodiscard]] std::span<const SettingInfo> ConfigurationSettings();
// The 21 schedule values in the order the dialog writes them: Week1, Start1, Stop1, Week2 ...
[[nodiscard]] std::span<const SettingInfo> ScheduleSettings();
// Values of the configuration key that only the store holds (the dialog leaves them alone).
[[nodiscard]] std::span<const SettingInfo> StoreOnlySettings();
// The four transfer counters in the counter key.
[[nodiscard]] std::span<const SettingInfo> CounterSettings();

// A configuration, schedule or store-only value by name, matched case-insensitively; nullptr
// if unknown.
[[nodiscard]] const SettingInfo* FindSetting(std::string_view name);
// A counter by name, matched case-insensitively; nullptr if unknown.
[[nodiscard]] const SettingInfo* FindCounter(std::string_view name);

// Schedule defaults for an ISO weekday (1 = Monday ... 7 = Sunday). Times carry the date
// 1.0 (31 December 1899) that the dialog's time pickers hold, so 09:30 is 1.395833...
[[nodiscard]] bool DefaultWeekEnabled(int weekday);
[[nodiscard]] double DefaultScheduleStart(int weekday);
[[nodiscard]] double DefaultScheduleStop(int weekday);

} // namespace ornel
