// Comparing, searching and case mapping. Exact comparison orders by UTF-16
// code units; case-insensitive and non-literal comparison work on text case
// folded and canonically decomposed by utf8proc. Upper- and lowercasing use
// ICU's full, context-sensitive mappings.
#include "platform/strings/StringInternal.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"

#include <unicode/ustring.h>
#include <utf8proc.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

using namespace vt::cf;
using namespace vt::cf::str;

namespace {

CFComparisonResult Sign(int difference) {
    return difference < 0 ? kCFCompareLessThan
                          : (difference > 0 ? kCFCompareGreaterThan : kCFCompareEqualTo);
}

template <class A, class B>
CFComparisonResult CompareUnits(const A *a, size_t aLength, const B *b, size_t bLength) {
    size_t n = std::min(aLength, bLength);
    if constexpr (std::is_same_v<A, uint8_t> && std::is_same_v<B, uint8_t>) {
        // For ASCII, byte order is UTF-16 order.
        if (int difference = n ? std::memcmp(a, b, n) : 0) return Sign(difference);
    } else {
        for (size_t i = 0; i < n; ++i)
            if (a[i] != b[i]) return a[i] < b[i] ? kCFCompareLessThan : kCFCompareGreaterThan;
    }
    return Sign(aLength < bLength ? -1 : (aLength > bLength ? 1 : 0));
}

CFComparisonResult CompareExact(const View &a, const View &b) {
    return Visit(a, [&](const auto *ac, size_t an) {
        return Visit(b, [&](const auto *bc, size_t bn) { return CompareUnits(ac, an, bc, bn); });
    });
}

UniChar LowerASCII(UniChar c) {
    return c >= 'A' && c <= 'Z' ? UniChar(c + 32) : c;
}

CFComparisonResult CompareASCIIFolded(const View &a, const View &b) {
    size_t n = std::min(a.length, b.length);
    for (size_t i = 0; i < n; ++i) {
        UniChar x = LowerASCII(a[i]), y = LowerASCII(b[i]);
        if (x != y) return x < y ? kCFCompareLessThan : kCFCompareGreaterThan;
    }
    return Sign(a.length < b.length ? -1 : (a.length > b.length ? 1 : 0));
}

bool IsHigh(uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLow(uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Text after case folding and/or canonical decomposition (with canonical
// reordering of combining marks), each code point remembering which source
// character it came from.
struct Folded {
    std::vector<int32_t> text;
    std::vector<uint32_t> source;     // per code point of text: its source character
    std::vector<size_t> sourceStarts; // UTF-16 offset of each source character, then the end
};

void Fold(const View &view, size_t location, size_t length, CFStringCompareFlags options,
          Folded &out) {
    auto flags = utf8proc_option_t(((options & kCFCompareCaseInsensitive) ? UTF8PROC_CASEFOLD : 0) |
                                   ((options & kCFCompareNonliteral) ? UTF8PROC_DECOMPOSE : 0));
    bool reorder = options & kCFCompareNonliteral;
    std::vector<uint8_t> classes; // combining class per code point of text
    std::vector<int32_t> buffer(8);
    size_t end = location + length;
    for (size_t i = location; i < end;) {
        uint32_t c = view[i];
        out.sourceStarts.push_back(i - location);
        size_t next = i + 1;
        if (IsHigh(c) && next < end && IsLow(view[next])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (view[next] - 0xDC00u);
            ++next;
        }
        i = next;
        auto source = uint32_t(out.sourceStarts.size() - 1);
        size_t count = 1;
        if (IsHigh(c) || IsLow(c)) {
            buffer[0] = int32_t(c); // an unpaired surrogate stays as it is
        } else {
            int boundary = 0;
            for (;;) {
                utf8proc_ssize_t n = utf8proc_decompose_char(
                    int32_t(c), buffer.data(), utf8proc_ssize_t(buffer.size()), flags, &boundary);
                if (n < 0) {
                    buffer[0] = int32_t(c);
                    break;
                }
                if (size_t(n) <= buffer.size()) {
                    count = size_t(n);
                    break;
                }
                buffer.resize(size_t(n));
            }
        }
        for (size_t k = 0; k < count; ++k) {
            int32_t cp = buffer[k];
            uint8_t cc = reorder ? uint8_t(utf8proc_get_property(cp)->combining_class) : 0;
            // Canonical ordering: a mark moves before marks of a higher class.
            size_t at = out.text.size();
            out.text.push_back(cp);
            out.source.push_back(source);
            classes.push_back(cc);
            while (cc && at > 0 && classes[at - 1] > cc) {
                std::swap(out.text[at], out.text[at - 1]);
                std::swap(out.source[at], out.source[at - 1]);
                std::swap(classes[at], classes[at - 1]);
                --at;
            }
        }
    }
    out.sourceStarts.push_back(length);
}

void AppendUTF16(const std::vector<int32_t> &text, std::vector<UniChar> &out) {
    for (int32_t cp : text) {
        if (cp >= 0x10000) {
            out.push_back(UniChar(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(UniChar(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(UniChar(cp));
        }
    }
}

bool NeedsFolding(CFStringCompareFlags options) {
    return options & (kCFCompareCaseInsensitive | kCFCompareNonliteral);
}

CFComparisonResult CompareViews(const View &a, const View &b, CFStringCompareFlags options) {
    if (!NeedsFolding(options)) return CompareExact(a, b);
    if (IsASCII(a) && IsASCII(b))
        return (options & kCFCompareCaseInsensitive) ? CompareASCIIFolded(a, b)
                                                     : CompareExact(a, b);
    Folded fa, fb;
    Fold(a, 0, a.length, options, fa);
    Fold(b, 0, b.length, options, fb);
    std::vector<UniChar> ua, ub;
    AppendUTF16(fa.text, ua);
    AppendUTF16(fb.text, ub);
    return CompareUnits(ua.data(), ua.size(), ub.data(), ub.size());
}

// Finds non-overlapping matches among candidate starts [low, high], in the
// search direction, stopping after `limit`. matchAt(k) tests one start; a
// match of m units makes the next candidate start m units further on.
template <class MatchAt>
void Scan(size_t low, size_t high, size_t m, CFStringCompareFlags options, size_t limit,
          MatchAt &&matchAt, std::vector<size_t> &found) {
    bool backwards = options & kCFCompareBackwards;
    if (options & kCFCompareAnchored) {
        size_t k = backwards ? high : low;
        if (matchAt(k)) found.push_back(k);
        return;
    }
    if (!backwards) {
        for (size_t k = low; k <= high;) {
            if (!matchAt(k)) {
                ++k;
                continue;
            }
            found.push_back(k);
            if (found.size() == limit) return;
            k += m;
        }
        return;
    }
    for (size_t k = high;;) {
        if (matchAt(k)) {
            found.push_back(k);
            if (found.size() == limit || k - low < m) return;
            k -= m;
        } else {
            if (k == low) return;
            --k;
        }
    }
}

// Matches of pattern within [location, location + length) of view, as ranges
// of view, in the order of the search direction.
std::vector<CFRange> FindMatches(const View &view, size_t location, size_t length,
                                 const View &pattern, CFStringCompareFlags options, size_t limit) {
    std::vector<CFRange> ranges;
    std::vector<size_t> found;
    size_t m = pattern.length;
    if (m == 0) return ranges;
    View range = view.Sub(location, length);
    bool folding = NeedsFolding(options) && !(IsASCII(range) && IsASCII(pattern));
    if (!folding) {
        if (m > length) return ranges;
        bool caseless = options & kCFCompareCaseInsensitive;
        auto matchAt = [&](size_t k) {
            for (size_t i = 0; i < m; ++i) {
                UniChar a = range[k + i], b = pattern[i];
                if (a != b && (!caseless || LowerASCII(a) != LowerASCII(b))) return false;
            }
            return true;
        };
        Scan(0, length - m, m, options, limit, matchAt, found);
        for (size_t k : found)
            ranges.push_back(CFRangeMake(CFIndex(location + k), CFIndex(m)));
        return ranges;
    }
    Folded text, folded;
    Fold(view, location, length, options, text);
    Fold(pattern, 0, m, options, folded);
    size_t n = text.text.size();
    m = folded.text.size();
    if (m == 0 || m > n) return ranges;
    // A match must start and end between source characters: prefixMax[k] is
    // the highest source before position k, suffixMin[k] the lowest from k on.
    std::vector<uint32_t> prefixMax(n + 1, 0), suffixMin(n + 1, UINT32_MAX);
    for (size_t k = 0; k < n; ++k)
        prefixMax[k + 1] = std::max(k ? prefixMax[k] : 0, text.source[k]);
    for (size_t k = n; k-- > 0;)
        suffixMin[k] = std::min(suffixMin[k + 1], text.source[k]);
    auto boundary = [&](size_t k) { return k == 0 || k == n || prefixMax[k] < suffixMin[k]; };
    auto matchAt = [&](size_t k) {
        return boundary(k) && boundary(k + m) &&
               std::equal(folded.text.begin(), folded.text.end(), text.text.begin() + ptrdiff_t(k));
    };
    Scan(0, n - m, m, options, limit, matchAt, found);
    for (size_t k : found) {
        size_t start = text.sourceStarts[suffixMin[k]];
        size_t end = text.sourceStarts[prefixMax[k + m] + 1];
        ranges.push_back(CFRangeMake(CFIndex(location + start), CFIndex(end - start)));
    }
    return ranges;
}

bool FindFirst(CFStringRef string, CFStringRef pattern, CFRange range, CFStringCompareFlags options,
               CFRange *result) {
    View view, find;
    if (!GetView(string, view) || !GetView(pattern, find) || !ValidRange(range, view.length))
        return false;
    try {
        auto matches =
            FindMatches(view, size_t(range.location), size_t(range.length), find, options, 1);
        if (matches.empty()) return false;
        if (result) *result = matches.front();
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

using CaseMap = int32_t (*)(UChar *, int32_t, const UChar *, int32_t, const char *, UErrorCode *);

// ICU's locale ID for a case-mapping locale argument: a string names the
// locale ("tr", "tr_TR", "el-GR"), whose language may bring its own rules;
// NULL, anything else, or an identifier that is no locale ID means the root
// rules. Never NULL for ICU, which would read the process's default locale.
std::string CaseLocale(const void *locale) {
    View view;
    if (!Cast<CFStringRef>(locale) || !GetView(locale, view) || view.length > 64) return {};
    std::string id;
    for (size_t i = 0; i < view.length; ++i) {
        UniChar c = view[i];
        bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       (c && std::strchr("_-@=;", c));
        if (!allowed) return {};
        id.push_back(char(c));
    }
    return id;
}

// Maps a mutable string with ICU's full case mapping, where one character
// may become several (sharp s uppercases to "SS") and the result depends
// on context (a final capital sigma lowercases to the final form). On
// failure the string is left as it was.
void MapCase(CFMutableStringRef theString, const void *locale, CaseMap map, bool upper) {
    MutableString *string = AsMutable(theString);
    View view;
    if (!string || !GetView(theString, view)) return;
    try {
        std::string id = CaseLocale(locale);
        if (!view.wide && id.empty()) {
            // Under the root rules ASCII maps to ASCII: change the bytes in place.
            uint8_t *chars = string->Chars();
            for (size_t i = 0; i < view.length; ++i) {
                uint8_t c = chars[i];
                if (upper ? (c >= 'a' && c <= 'z') : (c >= 'A' && c <= 'Z')) chars[i] = uint8_t(c ^ 0x20);
            }
            return;
        }
        std::u16string source(view.length, u'\0');
        for (size_t i = 0; i < view.length; ++i)
            source[i] = char16_t(view[i]);
        std::u16string result(std::min<size_t>(view.length + view.length / 2 + 16, INT32_MAX),
                              u'\0');
        for (int attempt = 0; attempt < 2; ++attempt) {
            UErrorCode status = U_ZERO_ERROR;
            int32_t length = map(result.data(), int32_t(result.size()), source.data(),
                                 int32_t(source.size()), id.c_str(), &status);
            if (status == U_BUFFER_OVERFLOW_ERROR && attempt == 0 && length > 0) {
                result.resize(size_t(length));
                continue;
            }
            if (U_FAILURE(status)) return;
            result.resize(size_t(length));
            std::vector<UniChar> units(result.begin(), result.end());
            Splice(string, 0, string->length, View{units.data(), units.size(), true});
            return;
        }
    } catch (const std::exception &) {
    }
}

} // namespace

extern "C" {

CFComparisonResult CFStringCompareWithOptions(CFStringRef theString1, CFStringRef theString2,
                                              CFRange rangeToCompare,
                                              CFStringCompareFlags compareOptions) {
    View a, b;
    bool hasA = GetView(theString1, a), hasB = GetView(theString2, b);
    // NULL and non-strings sort first, so that sorting by this stays consistent.
    if (!hasA || !hasB) return Sign(int(hasA) - int(hasB));
    if (!ValidRange(rangeToCompare, a.length)) return kCFCompareEqualTo;
    a = a.Sub(size_t(rangeToCompare.location), size_t(rangeToCompare.length));
    try {
        return CompareViews(a, b, compareOptions);
    } catch (const std::exception &) {
        return kCFCompareEqualTo;
    }
}

CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2,
                                   CFStringCompareFlags compareOptions) {
    View a, b;
    bool hasA = GetView(theString1, a), hasB = GetView(theString2, b);
    if (!hasA || !hasB) return Sign(int(hasA) - int(hasB));
    if (!NeedsFolding(compareOptions)) return CompareExact(a, b);
    try {
        return CompareViews(a, b, compareOptions);
    } catch (const std::exception &) {
        return kCFCompareEqualTo;
    }
}

Boolean CFStringFindWithOptions(CFStringRef theString, CFStringRef stringToFind,
                                CFRange rangeToSearch, CFStringCompareFlags searchOptions,
                                CFRange *result) {
    return FindFirst(theString, stringToFind, rangeToSearch, searchOptions, result);
}

CFRange CFStringFind(CFStringRef theString, CFStringRef stringToFind,
                     CFStringCompareFlags compareOptions) {
    CFRange result = CFRangeMake(kCFNotFound, 0);
    if (!FindFirst(theString, stringToFind, CFRangeMake(0, CFStringGetLength(theString)),
                   compareOptions, &result))
        return CFRangeMake(kCFNotFound, 0);
    return result;
}

Boolean CFStringHasPrefix(CFStringRef theString, CFStringRef prefix) {
    return FindFirst(theString, prefix, CFRangeMake(0, CFStringGetLength(theString)),
                     kCFCompareAnchored, nullptr);
}

Boolean CFStringHasSuffix(CFStringRef theString, CFStringRef suffix) {
    return FindFirst(theString, suffix, CFRangeMake(0, CFStringGetLength(theString)),
                     kCFCompareAnchored | kCFCompareBackwards, nullptr);
}

CFIndex CFStringFindAndReplace(CFMutableStringRef theString, CFStringRef stringToFind,
                               CFStringRef replacementString, CFRange rangeToSearch,
                               CFStringCompareFlags compareOptions) {
    MutableString *string = AsMutable(theString);
    View view, find, replacement;
    if (!string || !GetView(theString, view) || !GetView(stringToFind, find) ||
        !GetView(replacementString, replacement) || !ValidRange(rangeToSearch, view.length))
        return 0;
    try {
        auto matches = FindMatches(view, size_t(rangeToSearch.location),
                                   size_t(rangeToSearch.length), find, compareOptions, SIZE_MAX);
        if (matches.empty()) return 0;
        if (compareOptions & kCFCompareBackwards) std::reverse(matches.begin(), matches.end());
        // Rebuild the searched range once rather than editing per match.
        Builder builder;
        size_t at = size_t(rangeToSearch.location);
        for (const CFRange &match : matches) {
            builder.Append(view.Sub(at, size_t(match.location) - at));
            builder.Append(replacement);
            at = size_t(match.location + match.length);
        }
        size_t end = size_t(rangeToSearch.location + rangeToSearch.length);
        builder.Append(view.Sub(at, end - at));
        if (!Splice(string, size_t(rangeToSearch.location), size_t(rangeToSearch.length),
                    builder.GetView()))
            return 0;
        return CFIndex(matches.size());
    } catch (const std::exception &) {
        return 0;
    }
}

void CFStringLowercase(CFMutableStringRef theString, const void *locale) {
    MapCase(theString, locale, u_strToLower, false);
}

void CFStringUppercase(CFMutableStringRef theString, const void *locale) {
    MapCase(theString, locale, u_strToUpper, true);
}

CFArrayRef CFStringCreateArrayBySeparatingStrings(CFAllocatorRef alloc, CFStringRef theString,
                                                  CFStringRef separatorString) {
    View view, separator;
    if (!GetView(theString, view) || !GetView(separatorString, separator)) return nullptr;
    try {
        auto matches = FindMatches(view, 0, view.length, separator, 0, SIZE_MAX);
        std::vector<vt::CFRef<CFStringRef>> pieces;
        std::vector<const void *> values;
        size_t at = 0;
        auto add = [&](size_t end) {
            pieces.emplace_back(CFStringCreateWithSubstring(
                alloc, theString, CFRangeMake(CFIndex(at), CFIndex(end - at))));
            values.push_back(pieces.back().get());
            return pieces.back().get() != nullptr;
        };
        for (const CFRange &match : matches) {
            if (!add(size_t(match.location))) return nullptr;
            at = size_t(match.location + match.length);
        }
        if (!add(view.length)) return nullptr;
        return CFArrayCreate(alloc, values.data(), CFIndex(values.size()), &kCFTypeArrayCallBacks);
    } catch (const std::exception &) {
        return nullptr;
    }
}

CFStringRef CFStringCreateByCombiningStrings(CFAllocatorRef alloc, CFArrayRef theArray,
                                             CFStringRef separatorString) {
    View separator;
    if (TypeOf(theArray) != kTypeIDArray || !GetView(separatorString, separator)) return nullptr;
    try {
        Builder builder;
        CFIndex count = CFArrayGetCount(theArray);
        for (CFIndex i = 0; i < count; ++i) {
            View piece;
            if (!GetView(CFArrayGetValueAtIndex(theArray, i), piece)) return nullptr;
            if (i) builder.Append(separator);
            builder.Append(piece);
        }
        return CreateWithView(alloc, builder.GetView(), false);
    } catch (const std::exception &) {
        return nullptr;
    }
}

} // extern "C"
