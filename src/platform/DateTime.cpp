#include "platform/DateTime.h"

#include <cmath>
#include <ctime>

namespace ornel
{

namespace
{

constexpr long long kMsPerDay = 86'400'000;
constexpr long long kUnixEpochInDateTime = 25569; // 1970-01-01 as days since 1899-12-30

// Days from 1970-01-01 to the civil date (proleptic Gregorian), after H. Hinnant.
long long DaysFromCivil(long long y, long long m, long long d)
{
    y -= m <= 2 ? 1 : 0;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1;
    const long long m = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    month = static_cast<int>(m);
    day = static_cast<int>(d);
}

// A date-time before the epoch keeps its time of day as a positive fraction counted
// from the start of that day (-1.25 is 29 December 1899, 06:00), so the day is the
// truncated value and the fraction its absolute remainder.
void Split(double dateTime, long long& days, long long& msOfDay)
{
    const double whole = std::trunc(dateTime);
    days = static_cast<long long>(whole);
    msOfDay = std::llround(std::fabs(dateTime - whole) * static_cast<double>(kMsPerDay));
    if (msOfDay >= kMsPerDay) {
        msOfDay -= kMsPerDay;
        days += dateTime < 0 ? -1 : 1;
    }
}

void AppendNumber(std::string& out, long long value, std::size_t width)
{
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (digits.size() < width)
        digits.insert(0, width - digits.size(), '0');
    if (value < 0)
        out += '-';
    out += digits;
}

} // namespace

double EncodeDateTime(const DateParts& parts)
{
    const long long days = DaysFromCivil(parts.Year, parts.Month, parts.Day) + kUnixEpochInDateTime;
    const double fraction =
        static_cast<double>(((parts.Hour * 60LL + parts.Minute) * 60LL + parts.Second) * 1000LL +
                            parts.Millisecond) /
        static_cast<double>(kMsPerDay);
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

DateParts DecodeDateTime(double dateTime)
{
    long long days = 0;
    long long ms = 0;
    Split(dateTime, days, ms);
    DateParts parts;
    CivilFromDays(days - kUnixEpochInDateTime, parts.Year, parts.Month, parts.Day);
    parts.Millisecond = static_cast<int>(ms % 1000);
    parts.Second = static_cast<int>(ms / 1000 % 60);
    parts.Minute = static_cast<int>(ms / 60'000 % 60);
    parts.Hour = static_cast<int>(ms / 3'600'000);
    return parts;
}

double ToDateTime(std::chrono::system_clock::time_point moment)
{
    const auto sinceEpoch = std::chrono::floor<std::chrono::milliseconds>(moment.time_since_epoch());
    const auto wholeSeconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    const auto ms = (sinceEpoch - wholeSeconds).count();
    const auto seconds = static_cast<std::time_t>(wholeSeconds.count());
    std::tm local{};
    localtime_r(&seconds, &local);
    DateParts parts;
    parts.Year = local.tm_year + 1900;
    parts.Month = local.tm_mon + 1;
    parts.Day = local.tm_mday;
    parts.Hour = local.tm_hour;
    parts.Minute = local.tm_min;
    // A leap second shows as :60; the date-time has no room for it.
    parts.Second = local.tm_sec > 59 ? 59 : local.tm_sec;
    parts.Millisecond = static_cast<int>(ms);
    return EncodeDateTime(parts);
}

int DayOfTheWeek(double dateTime)
{
    long long days = 0;
    long long ms = 0;
    Split(dateTime, days, ms);
    // 30 December 1899 was a Saturday (ISO 6).
    return static_cast<int>(((days + 5) % 7 + 7) % 7) + 1;
}

std::string FormatDateTime(std::string_view pattern, double dateTime)
{
    const DateParts p = DecodeDateTime(dateTime);
    std::string out;
    std::size_t i = 0;
    const auto at = [&](std::string_view token) { return pattern.substr(i, token.size()) == token; };
    while (i < pattern.size()) {
        if (at("yyyy")) {
            AppendNumber(out, p.Year, 4);
            i += 4;
        } else if (at("zzz")) {
            AppendNumber(out, p.Millisecond, 3);
            i += 3;
        } else if (at("dd") || at("mm") || at("hh") || at("nn") || at("ss")) {
            const char c = pattern[i];
            const int value = c == 'd'   ? p.Day
                              : c == 'm' ? p.Month
                              : c == 'h' ? p.Hour
                              : c == 'n' ? p.Minute
                                         : p.Second;
            AppendNumber(out, value, 2);
            i += 2;
        } else if (pattern[i] == '/') {
            out += '.'; // the Russian date separator
            ++i;
        } else {
            out += pattern[i]; // ":" is already the time separator
            ++i;
        }
    }
    return out;
}

} // namespace ornel
