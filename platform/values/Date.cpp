// Dates: a CFAbsoluteTime (seconds since 2001-01-01 00:00:00 UTC) in an object.
#include "platform/values/Runtime.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

using namespace vt::cf;

struct __CFDate {
    ObjectHeader header;
    CFAbsoluteTime time;

    __CFDate(uint8_t allocator, const __VTRuntimeClass *cls, CFAbsoluteTime at)
        : header(cls, 1, allocator), time(at) {}
};

namespace {

bool SameTime(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

bool DateEqual(CFTypeRef a, CFTypeRef b) {
    return SameTime(static_cast<const __CFDate *>(a)->time, static_cast<const __CFDate *>(b)->time);
}

CFHashCode DateHash(CFTypeRef cf) {
    double t = static_cast<const __CFDate *>(cf)->time;
    if (std::isnan(t)) return 0x7ff8;
    // +0 and -0 are the same time.
    uint64_t bits = t == 0 ? 0 : std::bit_cast<uint64_t>(t);
    bits ^= bits >> 31;
    return CFHashCode(bits * 0x9E3779B97F4A7C15ull);
}

// Days since 1970-01-01 to a civil date in the proleptic Gregorian calendar.
void CivilFromDays(int64_t days, int64_t *year, int *month, int *day) {
    days += 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    int64_t doe = days - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    *day = int(doy - (153 * mp + 2) / 5 + 1);
    *month = int(mp < 10 ? mp + 3 : mp - 9);
    *year = yoe + era * 400 + (*month <= 2 ? 1 : 0);
}

CFStringRef DateDescription(CFTypeRef cf) {
    double t = static_cast<const __CFDate *>(cf)->time;
    char text[64];
    int length;
    // Beyond about ±290 billion years the calendar arithmetic would overflow.
    constexpr double kLimit = 9.0e18;
    double unixTime = std::floor(t) + kCFAbsoluteTimeIntervalSince1970;
    if (std::isfinite(t) && std::fabs(unixTime) < kLimit) {
        auto seconds = int64_t(unixTime);
        int64_t days = seconds / 86400;
        int64_t rest = seconds % 86400;
        if (rest < 0) {
            rest += 86400;
            --days;
        }
        int64_t year;
        int month, day;
        CivilFromDays(days, &year, &month, &day);
        length = std::snprintf(text, sizeof text, "%04lld-%02d-%02d %02d:%02d:%02d +0000",
                               static_cast<long long>(year), month, day, int(rest / 3600),
                               int(rest / 60 % 60), int(rest % 60));
    } else {
        length = int(std::to_chars(text, text + sizeof text, t).ptr - text);
    }
    return CFStringCreateWithBytes(kCFAllocatorSystemDefault, reinterpret_cast<UInt8 *>(text),
                                   length, kCFStringEncodingUTF8, false);
}

constexpr __VTRuntimeClass kDateClass = {
    kTypeIDDate, "CFDate", nullptr, DateEqual, DateHash, DateDescription,
};

const __CFDate *AsDate(CFTypeRef cf) {
    return As<const __CFDate>(cf, kTypeIDDate);
}

} // namespace

extern "C" {

const CFTimeInterval kCFAbsoluteTimeIntervalSince1970 = 978307200.0;
const CFTimeInterval kCFAbsoluteTimeIntervalSince1904 = 3061152000.0;

CFAbsoluteTime CFAbsoluteTimeGetCurrent(void) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return (double(now.tv_sec) - kCFAbsoluteTimeIntervalSince1970) + double(now.tv_nsec) * 1e-9;
}

CFTypeID CFDateGetTypeID(void) {
    return kTypeIDDate;
}

CFDateRef CFDateCreate(CFAllocatorRef allocator, CFAbsoluteTime at) {
    return CreateObject<__CFDate>(allocator, 0, &kDateClass, at);
}

CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef theDate) {
    const __CFDate *d = AsDate(theDate);
    return d ? d->time : 0.0;
}

CFTimeInterval CFDateGetTimeIntervalSinceDate(CFDateRef theDate, CFDateRef otherDate) {
    const __CFDate *a = AsDate(theDate);
    const __CFDate *b = AsDate(otherDate);
    return a && b ? a->time - b->time : 0.0;
}

CFComparisonResult CFDateCompare(CFDateRef theDate, CFDateRef otherDate, void *) {
    const __CFDate *a = AsDate(theDate);
    const __CFDate *b = AsDate(otherDate);
    if (!a || !b) return kCFCompareEqualTo;
    if (a->time < b->time) return kCFCompareLessThan;
    if (a->time > b->time) return kCFCompareGreaterThan;
    return kCFCompareEqualTo;
}

} // extern "C"
