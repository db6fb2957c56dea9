#include "baselib/bl_time.h"

#include <array>
#include <cstdio>

#include "baselib/logsys.h"

namespace vorlane::baselib {
namespace {

constexpr int kDecades = (kLastYear - kFirstYear) / 10;  // 30 decades: 1800..2099

constexpr int kCommonMonthEnd[12] = {31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
constexpr int kLeapMonthEnd[12] = {31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366};

int DaysInYear(int year) {
    return IsLeapYear(year) ? 366 : 365;
}

// decade_start[k] = days before 1 January of 1800 + 10k; entry kDecades covers
// the whole table (the start of 2100).
struct DecadeTable {
    std::array<uint32_t, kDecades + 1> decade_start{};
    DecadeTable() {
        uint32_t total = 0;
        for (int k = 0; k < kDecades; ++k) {
            decade_start[k] = total;
            for (int y = 0; y < 10; ++y) total += uint32_t(DaysInYear(kFirstYear + 10 * k + y));
        }
        decade_start[kDecades] = total;
    }
};

// Built the first time a DATETIME is constructed.
const DecadeTable& Decades() {
    static const DecadeTable table;
    return table;
}

const int* MonthEnds(int year) {
    return IsLeapYear(year) ? kLeapMonthEnd : kCommonMonthEnd;
}

void ReportNullBuffer(const char* function) {
    LOGSYS_Printf(nullptr, kLogInfo, "ERROR: %s:%s : STRING BUFFER NOT INITIALIZED !", "BLTIME",
                  function);
}

// The last two decimal digits of a value (of its magnitude when negative).
void PutTwoDigits(char* out, int value) {
    const int digits = value < 0 ? -(value % 100) : value % 100;
    out[0] = char('0' + digits / 10);
    out[1] = char('0' + digits % 10);
}

bool LocalNow(std::tm& out) {
    const std::time_t now = std::time(nullptr);
    return localtime_r(&now, &out) != nullptr;
}

}  // namespace

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

const char* MonthName(int month) {
    static const char* const kNames[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                           "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    return month >= 1 && month <= 12 ? kNames[month - 1] : "XXX";
}

void FormatTimeString(const std::tm& when, char* buffer) {
    PutTwoDigits(buffer, when.tm_hour);
    buffer[2] = ':';
    PutTwoDigits(buffer + 3, when.tm_min);
    buffer[5] = ':';
    PutTwoDigits(buffer + 6, when.tm_sec);
    buffer[8] = '\0';
}

void FormatDateString(const std::tm& when, char* buffer) {
    PutTwoDigits(buffer, when.tm_mon + 1);
    buffer[2] = '/';
    PutTwoDigits(buffer + 3, when.tm_mday);
    buffer[5] = '/';
    PutTwoDigits(buffer + 6, when.tm_year);
    buffer[8] = '\0';
}

}  // namespace vorlane::baselib

using namespace vorlane::baselib;

char* TIME_GetTimeString(char* buffer) {
    if (!buffer) {
        ReportNullBuffer("TIME_GetTimeString");
        return buffer;
    }
    std::tm now{};
    LocalNow(now);
    FormatTimeString(now, buffer);
    return buffer;
}

char* TIME_GetDateString(char* buffer) {
    if (!buffer) {
        ReportNullBuffer("TIME_GetDateString");
        return buffer;
    }
    std::tm now{};
    LocalNow(now);
    FormatDateString(now, buffer);
    return buffer;
}

DATETIME::DATETIME() {
    Decades();
}

DATETIME::DATETIME(uint32_t day_number, int32_t milliseconds) : DATETIME() {
    day = day_number;
    ms = milliseconds;
}

bool DATETIME::SetDate(int day_of_month, int month, int year) {
    if (year < kFirstYear || year > kLastYear || month < 1 || month > 12 || day_of_month < 1 ||
        day_of_month > 31) {
        return false;
    }
    const int* ends = MonthEnds(year);
    const int month_length = ends[month - 1] - (month > 1 ? ends[month - 2] : 0);
    if (day_of_month > month_length)
        return false;

    const int offset = year - kFirstYear;
    uint32_t number = Decades().decade_start[offset / 10];
    for (int y = year - offset % 10; y < year; ++y) number += uint32_t(DaysInYear(y));
    number += uint32_t(day_of_month + (month > 1 ? ends[month - 2] : 0));
    day = number;
    return true;
}

void DATETIME::SetCurrent() {
    std::tm now{};
    if (LocalNow(now))
        SetFrom(now);
}

bool DATETIME::SetFrom(const std::tm& when) {
    if (!SetDate(when.tm_mday, when.tm_mon + 1, when.tm_year + 1900))
        return false;
    // A leap second (tm_sec 60) is folded into the last second of the day.
    const int seconds = when.tm_sec > 59 ? 59 : when.tm_sec;
    ms = ((when.tm_hour * 60 + when.tm_min) * 60 + seconds) * 1000;
    return true;
}

void DATETIME::GetDate(int* day_of_month, int* month, int* year) const {
    int d = 0, m = 0, y = 0;
    if (day > 0) {
        const auto& starts = Decades().decade_start;
        uint32_t remaining = day;  // 1-based day within the remaining span
        int decade = 0;
        while (decade < kDecades && remaining > starts[decade + 1]) ++decade;
        if (decade == kDecades) {
            y = kLastYear;
            remaining -= starts[kDecades];
        } else {
            remaining -= starts[decade];
            y = kFirstYear + 10 * decade;
            while (remaining > uint32_t(DaysInYear(y))) remaining -= uint32_t(DaysInYear(y++));
        }
        const int* ends = MonthEnds(y);
        // Past the end of 2100 there is no calendar: stay on its last day.
        if (remaining > uint32_t(ends[11]))
            remaining = uint32_t(ends[11]);
        m = 1;
        while (remaining > uint32_t(ends[m - 1])) ++m;
        d = int(remaining) - (m > 1 ? ends[m - 2] : 0);
    }
    if (day_of_month)
        *day_of_month = d;
    if (month)
        *month = m;
    if (year)
        *year = y;
}

void DATETIME::SplitTime(int* hours, int* minutes, int* seconds, int* milliseconds) const {
    int32_t value = ms;
    if (value >= kMsPerDay)
        value %= kMsPerDay;
    if (value < 0)
        value = 0;
    if (hours)
        *hours = value / 3600000;
    if (minutes)
        *minutes = (value % 3600000) / 60000;
    if (seconds)
        *seconds = (value % 60000) / 1000;
    if (milliseconds)
        *milliseconds = value % 1000;
}

void DATETIME::AddMilliseconds(int64_t delta) {
    int64_t total = int64_t(day) * kMsPerDay + ms + delta;
    if (total < 0)
        total = 0;
    int64_t days = total / kMsPerDay;
    if (days > int64_t(UINT32_MAX))
        days = UINT32_MAX;
    day = uint32_t(days);
    ms = int32_t(total % kMsPerDay);
}

int DATETIME::FormatTime(char* buffer, size_t size) const {
    int h, m, s, milli;
    SplitTime(&h, &m, &s, &milli);
    return snprintf(buffer, size, "%2.2ld:%2.2ld:%2.2ld:%3.3ld", long(h), long(m), long(s),
                    long(milli));
}

int DATETIME::FormatDateTime(char* buffer, size_t size) const {
    int d, mo, y, h, m, s, milli;
    GetDate(&d, &mo, &y);
    SplitTime(&h, &m, &s, &milli);
    return snprintf(buffer, size, "%2.2ld-%3s-%4.4ld %2.2ld:%2.2ld:%2.2ld:%3.3ld", long(d),
                    MonthName(mo), long(y), long(h), long(m), long(s), long(milli));
}

std::string DATETIME::TimeText() const {
    char buffer[32];
    FormatTime(buffer, sizeof buffer);
    return buffer;
}

std::string DATETIME::DateTimeText() const {
    char buffer[48];
    FormatDateTime(buffer, sizeof buffer);
    return buffer;
}
