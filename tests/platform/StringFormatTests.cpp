// String formats: printf conversions, %@, UTF-16 conversions, positional
// arguments and the formats that must be refused.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include "platform/values/Holder.h"
#include "platform/strings/StringInternal.h"

#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cwchar>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

using vt::CFRef;

namespace {

// The formatted text as UTF-8, or "<NULL>" when the format failed.
std::string Format(const char *format, ...) {
    CFRef<CFStringRef> formatString(
        CFStringCreateWithCString(nullptr, format, kCFStringEncodingUTF8));
    va_list arguments;
    va_start(arguments, format);
    CFRef<CFStringRef> result(
        CFStringCreateWithFormatAndArguments(nullptr, nullptr, formatString.get(), arguments));
    va_end(arguments);
    return result ? vt::cf::StringToUTF8(result.get()) : "<NULL>";
}

// What the C library makes of the same conversion.
template <class... T>
std::string C(const char *format, T... values) {
    std::string text(size_t(std::snprintf(nullptr, 0, format, values...)), '\0');
    std::snprintf(text.data(), text.size() + 1, format, values...);
    return text;
}

} // namespace

TEST(StringFormat, IntegerConversionsMatchTheCLibrary) {
    EXPECT_EQ(Format("%d|%i|%u|%o|%x|%X", -42, 7, 3000000000u, 8, 255, 255),
              C("%d|%i|%u|%o|%x|%X", -42, 7, 3000000000u, 8, 255, 255));
    EXPECT_EQ(Format("[%-6d][%+d][% d][%06d][%#o][%#x][%.4d][%8.3d]", 5, 5, 5, -5, 8, 255, 7, -7),
              "[5     ][+5][ 5][-00005][010][0xff][0007][    -007]");
    EXPECT_EQ(Format("%hhd %hhu %hd %hu", 300, 300, 70000, 70000),
              C("%hhd %hhu %hd %hu", 300, 300, 70000, 70000));
    EXPECT_EQ(Format("%ld %lld %qd %jd %zu %td %lx", LONG_MIN, LLONG_MAX, -1LL, INTMAX_MIN,
                     size_t(SIZE_MAX), ptrdiff_t(-3), 0xdeadbeefUL),
              C("%ld %lld %lld %jd %zu %td %lx", LONG_MIN, LLONG_MAX, -1LL, INTMAX_MIN,
                size_t(SIZE_MAX), ptrdiff_t(-3), 0xdeadbeefUL));
    EXPECT_EQ(Format("%*d|%-*d|%.*d|%*d", 5, 1, 4, 2, 3, 3, -4, 4), "    1|2   |003|4   ");
    EXPECT_EQ(Format("100%% %5%"), "100% %");
}

TEST(StringFormat, FloatingConversionsMatchTheCLibrary) {
    const double values[] = {0.0, -1.5, 3.14159265358979, 1e300, 6.02e-23};
    for (double v : values) {
        EXPECT_EQ(Format("%e %E %f %F %g %G %a %A", v, v, v, v, v, v, v, v),
                  C("%e %E %f %F %g %G %a %A", v, v, v, v, v, v, v, v));
        EXPECT_EQ(Format("[%+12.3e][%-10.2f][%#g][%010.1f][% .0f][%lf]", v, v, v, v, v, v),
                  C("[%+12.3e][%-10.2f][%#g][%010.1f][% .0f][%lf]", v, v, v, v, v, v));
    }
    EXPECT_EQ(Format("%.*f|%.*f", 2, 1.0 / 3, -1, 0.5), "0.33|0.500000");
    EXPECT_EQ(Format("%Lf %.3Lg", 1.25L, 1234.5L), C("%Lf %.3Lg", 1.25L, 1234.5L));
    EXPECT_EQ(Format("%f %F", HUGE_VAL, -HUGE_VAL), "inf -INF");
}

TEST(StringFormat, StringsCharactersAndObjects) {
    EXPECT_EQ(Format("%s|%s|%.2s|%-6s|%6s", "caf\xC3\xA9", nullptr, "abc", "ab", "\xC3\xA9"),
              "caf\xC3\xA9|(null)|ab|ab    |     \xC3\xA9");
    EXPECT_EQ(Format("%.4s", "caf\xC3\xA9"), "caf"); // never half a character
    const UniChar units[] = {'h', 0xE9, 0xD83D, 0xDE00, 0};
    EXPECT_EQ(Format("%S|%.2S|%S", units, units, nullptr),
              "h\xC3\xA9\xF0\x9F\x98\x80|h\xC3\xA9|(null)");
    EXPECT_EQ(Format("%C%C%c%3c", UniChar(0x20AC), UniChar('!'), 'x', 'y'), "\xE2\x82\xAC!x  y");
    EXPECT_EQ(Format("%ls|%lc", L"\u00e9t\u00e9", wint_t(0x1F600)),
              "\xC3\xA9t\xC3\xA9|\xF0\x9F\x98\x80");

    CFIndex fifty = -50;
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberCFIndexType, &fifty));
    EXPECT_EQ(Format("%@ %@ %@ %@", CFSTR("str"), number.get(), kCFBooleanTrue, nullptr),
              "str -50 true (null)");
    EXPECT_EQ(Format("[%6@][%-6@][%.2@]", CFSTR("ab"), CFSTR("ab"), CFSTR("abc")),
              "[    ab][ab    ][ab]");
    EXPECT_EQ(Format("%@", CFSTR("\u00e9\U0001F600")), "\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(Format("caf\xC3\xA9 %d", 1), "caf\xC3\xA9 1");

    int local = 0;
    char expected[64];
    std::snprintf(expected, sizeof expected, "0x%lx|0x0", reinterpret_cast<unsigned long>(&local));
    EXPECT_EQ(Format("%p|%p", static_cast<void *>(&local), nullptr), expected);
}

TEST(StringFormat, PrecisionReadsNoFurtherThanItsCount) {
    // The argument holds exactly the counted bytes and no NUL, in a heap block
    // of that size, so a read one byte further is caught.
    struct Row {
        const char *format;
        std::string bytes;
        const char *expected;
    };
    const Row rows[] = {
        {"%.3s", "abc", "abc"},
        {"[%.*s]", "abc", "[abc]"},
        {"%.4s", "caf\xC3", "caf"},                       // the cut leaves half a character
        {"%.5s", "caf\xC3\xA9", "caf\xC3\xA9"},           // the cut falls after it
        {"%.3s", "a\xE2\x82", "a"},                       // two bytes of three
        {"%.4s", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"}, // a whole four-byte character
        {"%.3s", "ab\xE9", "ab"},                         // a lead byte alone is half a character
        {"%.3s", "\xE9t\xE9", "\xC3\xA9t\xC3\xA9"},       // not UTF-8: read as Latin 1
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.format + (" " + row.bytes));
        std::unique_ptr<char[]> exact(new char[row.bytes.size()]);
        std::memcpy(exact.get(), row.bytes.data(), row.bytes.size());
        std::string text = std::strchr(row.format, '*')
                               ? Format(row.format, int(row.bytes.size()), exact.get())
                               : Format(row.format, exact.get());
        EXPECT_EQ(text, row.expected);
    }
}

TEST(StringFormat, PositionalArguments) {
    EXPECT_EQ(Format("%2$@ %1$d %2$@", 5, CFSTR("x")), "x 5 x");
    EXPECT_EQ(Format("%3$s-%1$s-%2$s", "a", "b", "c"), "c-a-b");
    EXPECT_EQ(Format("[%1$*2$d][%1$-*2$d][%3$.*2$f]", 7, 4, 2.5), "[   7][7   ][2.5000]");
    EXPECT_EQ(Format("%2$lld %1$f", 0.5, 1LL << 40), C("%lld %f", 1LL << 40, 0.5));
    EXPECT_EQ(Format("%2$d", 1, 2), "<NULL>");    // %1$ never said what it is
    EXPECT_EQ(Format("%1$d %d", 1, 2), "<NULL>"); // mixed styles
    EXPECT_EQ(Format("%1$d %1$s", 1), "<NULL>");  // one argument, two types
    EXPECT_EQ(Format("%1$*d", 1, 2), "<NULL>");   // sequential width in a positional one
    EXPECT_EQ(Format("%0$d", 1), "<NULL>");
}

TEST(StringFormat, MalformedAndDangerousFormatsFail) {
    int written = 0;
    EXPECT_EQ(Format("abc%n", &written), "<NULL>");
    EXPECT_EQ(written, 0);
    EXPECT_EQ(Format("100%"), "<NULL>");
    EXPECT_EQ(Format("%5"), "<NULL>");
    EXPECT_EQ(Format("%k", 1), "<NULL>");
    EXPECT_EQ(Format("%Ld", 1), "<NULL>");
    EXPECT_EQ(Format("%hf", 1.0), "<NULL>");
    EXPECT_EQ(Format("%l@", nullptr), "<NULL>");
    EXPECT_EQ(Format("%*%", 1), "<NULL>");
    EXPECT_EQ(Format("%99999999d", 1), "<NULL>");
    EXPECT_EQ(Format("%*d", 1 << 30, 1), "<NULL>");
    EXPECT_EQ(Format("%d \xC3\xA9%", 1), "<NULL>");
    EXPECT_EQ(CFStringCreateWithFormat(nullptr, nullptr, nullptr, 1), nullptr);
}

TEST(StringFormat, AppendFormatEditsOnlyMutableStrings) {
    CFRef<CFMutableStringRef> s(CFStringCreateMutableCopy(nullptr, 0, CFSTR("n=")));
    CFStringAppendFormat(s.get(), nullptr, CFSTR("%d, %@"), 3, CFSTR("\u00e9"));
    EXPECT_EQ(vt::cf::StringToUTF8(s.get()), "n=3, \xC3\xA9");
    CFStringAppendFormat(s.get(), nullptr, CFSTR("%n"), nullptr);
    EXPECT_EQ(vt::cf::StringToUTF8(s.get()), "n=3, \xC3\xA9");
    CFStringAppendFormat(s.get(), nullptr, s.get());
    CFStringAppendFormat(s.get(), nullptr, CFSTR("[%@]"), s.get());
    EXPECT_EQ(vt::cf::StringToUTF8(s.get()),
              "n=3, \xC3\xA9n=3, \xC3\xA9[n=3, \xC3\xA9n=3, \xC3\xA9]");
}
