// Proleptic Gregorian calendar arithmetic on days counted from 1970-01-01.
// Our own rather than gmtime/timegm so any year works the same everywhere,
// independent of time_t's range and the process's time zone.
#pragma once

#include <cstdint>

namespace vt::plist {

struct CivilDate {
    int64_t year;
    unsigned month; // 1...12
    unsigned day;   // 1...31
};

inline constexpr int64_t kSecondsPerDay = 86400;
// Seconds from 1970-01-01 to 2001-01-01, the epoch of CFAbsoluteTime.
inline constexpr int64_t kUnixToAbsolute = 978307200;

constexpr bool IsLeapYear(int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

constexpr unsigned DaysInMonth(int64_t year, unsigned month) {
    constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Works in 400-year eras (146097 days each) with years starting in March, so
// the leap day falls at the end of a year.
constexpr int64_t DaysFromCivil(CivilDate date) {
    int64_t year = date.year - (date.month <= 2 ? 1 : 0);
    int64_t era = (year >= 0 ? year : year - 399) / 400;
    auto yearOfEra = unsigned(year - era * 400);
    unsigned shiftedMonth = date.month > 2 ? date.month - 3 : date.month + 9;
    unsigned dayOfYear = (153 * shiftedMonth + 2) / 5 + date.day - 1;
    unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + int64_t(dayOfEra) - 719468;
}

constexpr CivilDate CivilFromDays(int64_t days) {
    days += 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    auto dayOfEra = unsigned(days - era * 146097);
    unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    unsigned day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    unsigned month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    int64_t year = int64_t(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

static_assert(DaysFromCivil({1970, 1, 1}) == 0);
static_assert(DaysFromCivil({2001, 1, 1}) * kSecondsPerDay == kUnixToAbsolute);
static_assert(CivilFromDays(-719468).year == 0 && CivilFromDays(-719468).month == 3);

} // namespace vt::plist
