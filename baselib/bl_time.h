// Time services: "HH:MM:SS" and "MM/DD/YY" strings of the local time, and the
// calendar value DATETIME (day number since 1 January 1800 plus milliseconds
// since midnight) used by log time stamps and network time-outs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

// Writes the local time as "HH:MM:SS" into `buffer` (at least 9 bytes) and
// returns it; a null buffer is reported and returned.
char* TIME_GetTimeString(char* buffer);
// Writes the local date as "MM/DD/YY" into `buffer` (at least 9 bytes).
char* TIME_GetDateString(char* buffer);

namespace vorlane::baselib {

// The same texts for a given broken-down time (what the two functions above use).
void FormatTimeString(const std::tm& when, char* buffer);
void FormatDateString(const std::tm& when, char* buffer);

inline constexpr int32_t kMsPerDay = 86400000;
inline constexpr int kFirstYear = 1800;
inline constexpr int kLastYear = 2100;

bool IsLeapYear(int year);
// Three-letter month name, "XXX" outside 1..12.
const char* MonthName(int month);

}  // namespace vorlane::baselib

// A calendar date and time of day. Day 1 is 1 January 1800; day 0 means no date.
class DATETIME {
  public:
    DATETIME();
    DATETIME(uint32_t day, int32_t ms);

    uint32_t day = 0;
    int32_t ms = 0;

    // False (value unchanged) for a date outside 1800..2100 or not in the calendar.
    bool SetDate(int day_of_month, int month, int year);
    // Local date and time with seconds resolution.
    void SetCurrent();
    // Local date and time from a broken-down value; false when outside the range.
    bool SetFrom(const std::tm& when);
    // Day, month and year of `day`; all 0 for day 0. Null outputs are skipped.
    void GetDate(int* day_of_month, int* month, int* year) const;
    // Hours, minutes, seconds and milliseconds of `ms`. Null outputs are skipped.
    void SplitTime(int* hours, int* minutes, int* seconds, int* milliseconds) const;
    // Adds (or with a negative value subtracts) milliseconds, carrying whole days;
    // the day number stops at 0.
    void AddMilliseconds(int64_t delta);
    // "HH:MM:SS:mmm"; returns the number of characters (snprintf rules).
    int FormatTime(char* buffer, size_t size) const;
    // "DD-MON-YYYY HH:MM:SS:mmm".
    int FormatDateTime(char* buffer, size_t size) const;
    std::string TimeText() const;
    std::string DateTimeText() const;
};
