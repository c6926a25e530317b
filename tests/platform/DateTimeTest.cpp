#include "platform/DateTime.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

namespace ornel::test
{

namespace
{

// Sets TZ for the life of the object; POSIX rules need no time-zone database.
class ZoneGuard
{
public:
    explicit ZoneGuard(const char* zone)
    {
        const char* old = std::getenv("TZ");
        m_hadOld = old != nullptr;
        if (old)
            m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneGuard()
    {
        if (m_hadOld)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_hadOld = false;
    std::string m_old;
};

} // namespace

TEST(DateTime, EncodesDaysSinceTheEpochWithTheTimeAsFraction)
{
    EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30}), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime({1900, 1, 1}), 2.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 31, 9, 30}), 1.0 + 9.5 / 24);
    EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 31, 16, 30}), 1.6875);
    EXPECT_DOUBLE_EQ(EncodeDateTime({2026, 12, 8}), 46364.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime({2000, 2, 29, 12}), 36585.5);
    // Before the epoch the fraction still counts forward from the start of the day.
    EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 29, 6}), -1.25);
}

TEST(DateTime, DecodesBackToTheSamePartsRoundingToMilliseconds)
{
    for (const DateParts p : {DateParts{2026, 12, 8, 14, 5, 9, 7}, DateParts{1900, 3, 1, 23, 59, 59, 999},
                              DateParts{2024, 2, 29, 0, 0, 0, 1}, DateParts{1899, 12, 29, 6, 0, 0, 0}}) {
        const DateParts back = DecodeDateTime(EncodeDateTime(p));
        EXPECT_EQ(back.Year, p.Year);
        EXPECT_EQ(back.Month, p.Month);
        EXPECT_EQ(back.Day, p.Day);
        EXPECT_EQ(back.Hour, p.Hour);
        EXPECT_EQ(back.Minute, p.Minute);
        EXPECT_EQ(back.Second, p.Second);
        EXPECT_EQ(back.Millisecond, p.Millisecond);
    }
    // A hair before midnight rounds into the next day instead of giving 24:00:00.
    const DateParts carried = DecodeDateTime(46364.0 - 1e-10);
    EXPECT_EQ(carried.Day, 8);
    EXPECT_EQ(carried.Hour, 0);
}

TEST(DateTime, IsoWeekdays)
{
    EXPECT_EQ(DayOfTheWeek(EncodeDateTime({2026, 12, 7})), 1); // Monday
    EXPECT_EQ(DayOfTheWeek(EncodeDateTime({2026, 12, 11, 23, 59})), 5);
    EXPECT_EQ(DayOfTheWeek(EncodeDateTime({2026, 12, 13, 12})), 7);
    EXPECT_EQ(DayOfTheWeek(0.0), 6); // 30 December 1899 was a Saturday
    EXPECT_EQ(DayOfTheWeek(-1.25), 5);
}

TEST(DateTime, FormatsThePatternLettersAndKeepsEverythingElse)
{
    const double t = EncodeDateTime({2026, 12, 8, 14, 5, 9, 7});
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn:ss", t), "08.12.2026 14:05:09");
    EXPECT_EQ(FormatDateTime("yyyymmdd", t), "20261208");
    EXPECT_EQ(FormatDateTime("hh:nn:ss.zzz", t), "14:05:09.007");
    EXPECT_EQ(FormatDateTime("Log-d.m_y ", t), "Log-d.m_y ");
    EXPECT_EQ(FormatDateTime("ddd yyyyy", t), "08d 2026y");
    EXPECT_EQ(FormatDateTime("", t), "");
}

TEST(DateTime, ConvertsASystemTimeToTheLocalWallClock)
{
    const auto moment = std::chrono::system_clock::time_point(std::chrono::seconds(1'796'738'709)) +
                        std::chrono::milliseconds(250); // 2026-12-08 14:05:09.250 UTC
    {
        const ZoneGuard utc("UTC0");
        EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn:ss.zzz", ToDateTime(moment)), "08.12.2026 14:05:09.250");
    }
    {
        const ZoneGuard moscow("MSK-3");
        EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn:ss.zzz", ToDateTime(moment)), "08.12.2026 17:05:09.250");
    }
    const ZoneGuard utc("UTC0");
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn:ss", ToDateTime(std::chrono::system_clock::time_point{})),
              "01.01.1970 00:00:00");
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn:ss.zzz", ToDateTime(std::chrono::system_clock::time_point{} -
                                                                   std::chrono::milliseconds(1))),
              "31.12.1969 23:59:59.999");
}

} // namespace ornel::test
