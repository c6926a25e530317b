// Date-time doubles (days since 30 December 1899, local wall clock) and the pattern
// formatter used by every log line and file name. Free functions, any thread.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace ornel
{

struct DateParts
{
    int Year = 1899, Month = 12, Day = 30, Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

[[nodiscard]] double EncodeDateTime(const DateParts& parts);
// Rounds to the nearest millisecond.
[[nodiscard]] DateParts DecodeDateTime(double dateTime);
// The local wall-clock moment of a system clock time point.
[[nodiscard]] double ToDateTime(std::chrono::system_clock::time_point moment);
// ISO weekday of a date-time: 1 = Monday ... 7 = Sunday.
[[nodiscard]] int DayOfTheWeek(double dateTime);
// "dd" "mm" "yyyy" "hh" "nn" "ss" "zzz"; "/" gives ".", ":" gives ":"; anything else literal.
[[nodiscard]] std::string FormatDateTime(std::string_view pattern, double dateTime);

} // namespace ornel
