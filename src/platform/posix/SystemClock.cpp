#include "platform/SystemClock.h"

#include <chrono>
#include <ctime>

namespace ornel {

namespace {

// Days from 1970-01-01 to the civil date (proleptic Gregorian), after H. Hinnant.
long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2 ? 1 : 0;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

constexpr long long kUnixEpochInDateTime = 25569; // 1970-01-01 as days since 1899-12-30

} // namespace

double SystemClock::Now() const
{
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    const long long days = DaysFromCivil(local.tm_year + 1900LL, static_cast<unsigned>(local.tm_mon + 1),
                                         static_cast<unsigned>(local.tm_mday)) +
                           kUnixEpochInDateTime;
    const double msOfDay =
        ((local.tm_hour * 60.0 + local.tm_min) * 60.0 + local.tm_sec) * 1000.0 + static_cast<double>(ms % 1000);
    return static_cast<double>(days) + msOfDay / 86400000.0;
}

} // namespace ornel
