#include "baselib/bl_time.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/log_capture.h"

using namespace vorlane::baselib;

namespace {

DATETIME Date(int d, int m, int y) {
    DATETIME value;
    EXPECT_TRUE(value.SetDate(d, m, y)) << d << "." << m << "." << y;
    return value;
}

TEST(DateTime, DayNumbersOfKnownDates) {
    EXPECT_EQ(Date(1, 1, 1800).day, 1u);
    EXPECT_EQ(Date(1, 1, 1811).day, 4018u);  // 3652 (1800..1809) + 365 + 1
    EXPECT_EQ(Date(1, 3, 1801).day, 425u);   // 365 + 59 + 1
    EXPECT_EQ(Date(31, 12, 1801).day, 730u);
    EXPECT_EQ(Date(1, 3, 2000).day - Date(28, 2, 2000).day, 2u);  // 2000 is a leap year
    EXPECT_EQ(Date(1, 3, 1900).day - Date(28, 2, 1900).day, 1u);  // 1900 is not
    EXPECT_EQ(Date(1, 1, 2100).day - Date(1, 1, 2099).day, 365u);
}

TEST(DateTime, InvalidDatesAreRejectedAndLeaveTheValue) {
    DATETIME value = Date(5, 5, 1950);
    const uint32_t before = value.day;
    EXPECT_FALSE(value.SetDate(29, 2, 1900));
    EXPECT_TRUE(value.SetDate(29, 2, 2000));
    value.day = before;
    EXPECT_FALSE(value.SetDate(31, 4, 1950));
    EXPECT_FALSE(value.SetDate(0, 1, 1950));
    EXPECT_FALSE(value.SetDate(1, 13, 1950));
    EXPECT_FALSE(value.SetDate(1, 0, 1950));
    EXPECT_FALSE(value.SetDate(31, 12, 1799));
    EXPECT_FALSE(value.SetDate(1, 1, 2101));
    EXPECT_FALSE(value.SetDate(29, 2, 2100));
    EXPECT_EQ(value.day, before);
}

TEST(DateTime, DayNumbersConvertBackExactly) {
    // Every day of the whole range round-trips and consecutive days are consecutive numbers.
    uint32_t expected = 1;
    for (int y = 1800; y <= 2100; ++y) {
        for (int m = 1; m <= 12; ++m) {
            for (int d = 1; d <= 31; ++d) {
                DATETIME value;
                if (!value.SetDate(d, m, y))
                    continue;
                ASSERT_EQ(value.day, expected) << d << "." << m << "." << y;
                int dd, mm, yy;
                value.GetDate(&dd, &mm, &yy);
                ASSERT_EQ(dd, d);
                ASSERT_EQ(mm, m);
                ASSERT_EQ(yy, y);
                ++expected;
            }
        }
    }
    DATETIME beyond(expected + 400, 0);  // past the last day: stays in 2100
    int d, m, y;
    beyond.GetDate(&d, &m, &y);
    EXPECT_EQ(y, 2100);
    EXPECT_EQ(m, 12);
    EXPECT_EQ(d, 31);
    DATETIME none;
    none.GetDate(&d, &m, &y);
    EXPECT_EQ(d + m + y, 0);
    none.GetDate(nullptr, nullptr, &y);  // null outputs are skipped
}

TEST(DateTime, SplitAndFormatTime) {
    DATETIME value(1, 3723004);
    int h, m, s, ms;
    value.SplitTime(&h, &m, &s, &ms);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(m, 2);
    EXPECT_EQ(s, 3);
    EXPECT_EQ(ms, 4);
    EXPECT_EQ(value.TimeText(), "01:02:03:004");
    value.SplitTime(nullptr, nullptr, nullptr, &ms);
    EXPECT_EQ(ms, 4);
    // A value of a whole day or more is reduced first.
    DATETIME over(1, kMsPerDay + 1000);
    over.SplitTime(&h, &m, &s, &ms);
    EXPECT_EQ(h + m + ms, 0);
    EXPECT_EQ(s, 1);
}

TEST(DateTime, FormatDateAndTime) {
    EXPECT_EQ(DATETIME(1, 0).DateTimeText(), "01-JAN-1800 00:00:00:000");
    DATETIME value = Date(31, 12, 1999);
    value.ms = kMsPerDay - 1;
    EXPECT_EQ(value.DateTimeText(), "31-DEC-1999 23:59:59:999");
    char small[8];
    EXPECT_EQ(value.FormatDateTime(small, sizeof small), 24);  // cut, terminated
    EXPECT_EQ(std::strlen(small), 7u);
    EXPECT_STREQ(MonthName(0), "XXX");
    EXPECT_STREQ(MonthName(13), "XXX");
    EXPECT_STREQ(MonthName(5), "MAY");
}

TEST(DateTime, AddMillisecondsCarriesDays) {
    DATETIME value = Date(31, 12, 1801);
    value.ms = kMsPerDay - 10;
    value.AddMilliseconds(20);
    int d, m, y;
    value.GetDate(&d, &m, &y);
    EXPECT_EQ(d, 1);
    EXPECT_EQ(m, 1);
    EXPECT_EQ(y, 1802);
    EXPECT_EQ(value.ms, 10);
    value.AddMilliseconds(-20);
    EXPECT_EQ(value.day, 730u);
    EXPECT_EQ(value.ms, kMsPerDay - 10);
    value.AddMilliseconds(int64_t(3) * kMsPerDay);
    EXPECT_EQ(value.day, 733u);
    // Never below day 0.
    value.AddMilliseconds(-int64_t(10000) * kMsPerDay);
    EXPECT_EQ(value.day, 0u);
    EXPECT_EQ(value.ms, 0);
}

TEST(DateTime, FromBrokenDownTime) {
    std::tm when{};
    when.tm_year = 103;  // 2003
    when.tm_mon = 10;
    when.tm_mday = 12;
    when.tm_hour = 13;
    when.tm_min = 14;
    when.tm_sec = 15;
    DATETIME value;
    ASSERT_TRUE(value.SetFrom(when));
    EXPECT_EQ(value.DateTimeText(), "12-NOV-2003 13:14:15:000");
    value.SetCurrent();
    EXPECT_EQ(value.ms % 1000, 0);
    EXPECT_GT(value.day, Date(1, 1, 2020).day);
}

TEST(TimeStrings, ShapesOfTimeAndDate) {
    std::tm when{};
    when.tm_year = 103;
    when.tm_mon = 0;
    when.tm_mday = 9;
    when.tm_hour = 7;
    when.tm_min = 5;
    when.tm_sec = 3;
    char buffer[16];
    FormatTimeString(when, buffer);
    EXPECT_STREQ(buffer, "07:05:03");
    FormatDateString(when, buffer);
    EXPECT_STREQ(buffer, "01/09/03");
    when.tm_year = 100;  // 2000 reads "00"
    FormatDateString(when, buffer);
    EXPECT_STREQ(buffer, "01/09/00");

    char now[16];
    EXPECT_EQ(TIME_GetTimeString(now), now);
    ASSERT_EQ(std::strlen(now), 8u);
    EXPECT_EQ(now[2], ':');
    EXPECT_EQ(now[5], ':');
    EXPECT_EQ(TIME_GetDateString(now), now);
    ASSERT_EQ(std::strlen(now), 8u);
    EXPECT_EQ(now[2], '/');
    EXPECT_EQ(now[5], '/');
}

TEST(TimeStrings, NullBufferIsReported) {
    vorlane::testing::LogCapture log;
    EXPECT_EQ(TIME_GetTimeString(nullptr), nullptr);
    EXPECT_TRUE(log.Contains("ERROR: BLTIME:TIME_GetTimeString : STRING BUFFER NOT INITIALIZED !"));
    EXPECT_EQ(TIME_GetDateString(nullptr), nullptr);
    EXPECT_TRUE(log.Contains("BLTIME:TIME_GetDateString"));
}

}  // namespace
