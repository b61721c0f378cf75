// The string type: storage, the runtime class, constant strings, creation,
// access and editing.
#include "platform/strings/StringInternal.h"

#include <algorithm>
#include <cstdlib>
#include <locale.h>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>

using namespace vt::cf;
using namespace vt::cf::str;

namespace {

void CopyBytes(void *to, const void *from, size_t count) {
    if (count) std::memcpy(to, from, count);
}

// Writes the view's characters at unit offset `at` of storage that is 8-bit
// (only given ASCII) or UTF-16; returns the offset after them.
size_t CopyUnits(uint8_t *storage, bool wide, size_t at, const View &from) {
    if (wide) {
        auto *out = reinterpret_cast<UniChar *>(storage) + at;
        if (from.wide)
            CopyBytes(out, from.data, from.length * 2);
        else
            std::copy(from.Narrow(), from.Narrow() + from.length, out);
    } else if (from.wide) {
        std::transform(from.Wide(), from.Wide() + from.length, storage + at,
                       [](UniChar unit) { return uint8_t(unit); });
    } else {
        CopyBytes(storage + at, from.data, from.length);
    }
    return at + from.length;
}

bool EqualViews(const View &a, const View &b) {
    if (a.length != b.length) return false;
    if (a.wide == b.wide)
        return a.length == 0 || std::memcmp(a.data, b.data, a.length * (a.wide ? 2 : 1)) == 0;
    const View &narrow = a.wide ? b : a;
    const View &wide = a.wide ? a : b;
    return std::equal(narrow.Narrow(), narrow.Narrow() + narrow.length, wide.Wide());
}

// Four units as one word, the first in the low bits: 8-bit text is widened
// so that equal strings hash alike whatever their storage.
inline uint64_t FourUnits(const uint8_t *chars) {
    uint32_t packed;
    std::memcpy(&packed, chars, 4);
    uint64_t word = packed;
    word = (word | word << 16) & 0x0000ffff0000ffffull;
    return (word | word << 8) & 0x00ff00ff00ff00ffull;
}
inline uint64_t FourUnits(const UniChar *chars) {
    return uint64_t(chars[0]) | uint64_t(chars[1]) << 16 | uint64_t(chars[2]) << 32 |
           uint64_t(chars[3]) << 48;
}

// Hashes UTF-16 units eight at a time in two independent lanes, so that the
// multiplications overlap, then four at a time and the rest.
template <class Char>
uint64_t HashUnits(const Char *chars, size_t length) {
    constexpr uint64_t kMultiplier = 0xff51afd7ed558ccdull;
    uint64_t hash = 0x9e3779b97f4a7c15ull ^ (uint64_t(length) * kMultiplier);
    size_t i = 0;
    if (length >= 8) {
        uint64_t other = 0x6a09e667f3bcc909ull;
        for (; i + 8 <= length; i += 8) {
            hash = (hash ^ FourUnits(chars + i)) * kMultiplier;
            other = (other ^ FourUnits(chars + i + 4)) * kMultiplier;
            hash ^= hash >> 29;
            other ^= other >> 29;
        }
        hash = (hash ^ other) * kMultiplier;
    }
    for (; i + 4 <= length; i += 4) {
        hash = (hash ^ FourUnits(chars + i)) * kMultiplier;
        hash ^= hash >> 29;
    }
    if (i < length) {
        uint64_t word = 0;
        for (unsigned shift = 0; i < length; ++i, shift += 16)
            word |= uint64_t(chars[i]) << shift;
        hash = (hash ^ word) * kMultiplier;
    }
    hash ^= hash >> 33;
    hash *= 0xc4ceb9fe1a85ec53ull;
    hash ^= hash >> 33;
    return hash;
}

bool StringEqual(CFTypeRef a, CFTypeRef b) {
    View va, vb;
    return GetView(a, va) && GetView(b, vb) && EqualViews(va, vb);
}

CFHashCode StringHash(CFTypeRef cf) {
    View view;
    if (!GetView(cf, view)) return 0;
    return Visit(view, [](const auto *chars, size_t n) { return CFHashCode(HashUnits(chars, n)); });
}

CFStringRef StringDescribe(CFTypeRef cf) {
    return CFStringCreateCopy(kCFAllocatorSystemDefault, static_cast<CFStringRef>(cf));
}

void StringFinalize(CFTypeRef cf) {
    if (MutableString *string = AsMutable(cf)) {
        if (string->header.flags & kExternal) std::free(string->buffer);
        string->~MutableString();
    } else {
        static_cast<ImmutableString *>(const_cast<void *>(cf))->~ImmutableString();
    }
}

void MakeImmortal(CFStringRef string) {
    const_cast<ObjectHeader *>(Header(string))->rc.store(kImmortal, std::memory_order_relaxed);
}

// Constant strings whose UTF-8 text is not ASCII are read through an immortal
// UTF-16 copy made on first use.
CFStringRef ExpandConstant(const __VTConstantString *constant) {
    static std::mutex mutex;
    static auto *expanded = new std::unordered_map<const void *, CFStringRef>();
    try {
        std::lock_guard lock(mutex);
        auto found = expanded->find(constant);
        if (found != expanded->end()) return found->second;
        Builder builder;
        DecodeUTF8OrLatin1(reinterpret_cast<const uint8_t *>(constant->bytes),
                           size_t(std::max<CFIndex>(constant->length, 0)), builder);
        CFStringRef string = CreateWithView(kCFAllocatorSystemDefault, builder.GetView(), false);
        if (!string) return nullptr;
        MakeImmortal(string);
        expanded->emplace(constant, string);
        return string;
    } catch (const std::exception &) {
        return nullptr;
    }
}

struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};

bool IsSpace(UniChar c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

} // namespace

namespace vt::cf::str {

constinit const __VTRuntimeClass kStringClass = {
    kTypeIDString, "CFString", StringFinalize, StringEqual, StringHash, StringDescribe,
};

bool ConstantView(CFTypeRef cf, View &view) {
    auto *constant = static_cast<const __VTConstantString *>(cf);
    auto *bytes = reinterpret_cast<const uint8_t *>(constant->bytes);
    size_t length = size_t(std::max<CFIndex>(constant->length, 0));
    if (IsASCII(bytes, length)) {
        view = {bytes, length, false};
        return true;
    }
    CFStringRef expanded = ExpandConstant(constant);
    return expanded && GetView(expanded, view);
}

void Builder::Widen() {
    wideUnits_.assign(narrow_.begin(), narrow_.end());
    narrow_.clear();
    narrow_.shrink_to_fit();
    wide_ = true;
}

void Builder::Append(const View &view) {
    if (!view.wide) {
        AppendASCII(reinterpret_cast<const char *>(view.Narrow()), view.length);
        return;
    }
    if (!wide_) {
        if (IsASCII(view.Wide(), view.length)) {
            narrow_.append(view.Wide(), view.Wide() + view.length);
            return;
        }
        Widen();
    }
    wideUnits_.insert(wideUnits_.end(), view.Wide(), view.Wide() + view.length);
}

void Builder::AppendLatin1(const uint8_t *bytes, size_t count) {
    if (!wide_ && !IsASCII(bytes, count)) Widen();
    if (wide_)
        wideUnits_.insert(wideUnits_.end(), bytes, bytes + count);
    else
        narrow_.append(reinterpret_cast<const char *>(bytes), count);
}

void Builder::AppendUnit(UniChar unit) {
    if (!wide_ && unit >= 0x80) Widen();
    if (wide_)
        wideUnits_.push_back(unit);
    else
        narrow_.push_back(char(unit));
}

void Builder::AppendCodePoint(uint32_t codePoint) {
    if (codePoint >= 0x10000) {
        codePoint -= 0x10000;
        AppendUnit(UniChar(0xD800 + (codePoint >> 10)));
        AppendUnit(UniChar(0xDC00 + (codePoint & 0x3FF)));
    } else {
        AppendUnit(UniChar(codePoint));
    }
}

void Builder::AppendRepeated(char c, size_t count) {
    if (wide_)
        wideUnits_.insert(wideUnits_.end(), count, UniChar(c));
    else
        narrow_.append(count, c);
}

CFStringRef AllocateString(CFAllocatorRef allocator, size_t length, bool wide, bool makeMutable,
                           uint8_t *&chars) {
    if (length > kMaxLength) return nullptr;
    size_t bytes = wide ? length * 2 : length + 1;
    uint8_t flags = wide ? kWide : 0;
    if (makeMutable) {
        size_t capacity = std::max<size_t>(bytes, 8);
        auto *string = CreateObject<MutableString>(allocator, capacity - 8, uint32_t(length), flags,
                                                   uint32_t(capacity));
        if (!string) return nullptr;
        chars = string->Chars();
        if (!wide) chars[length] = 0;
        return reinterpret_cast<CFStringRef>(string);
    }
    auto *string = CreateObject<ImmutableString>(allocator, std::max<size_t>(bytes, 4) - 4,
                                                 uint32_t(length), flags);
    if (!string) return nullptr;
    chars = string->Chars();
    if (!wide) chars[length] = 0;
    return reinterpret_cast<CFStringRef>(string);
}

CFStringRef CreateWithView(CFAllocatorRef allocator, const View &view, bool makeMutable) {
    bool wide = view.wide && !IsASCII(view.Wide(), view.length);
    uint8_t *chars = nullptr;
    CFStringRef string = AllocateString(allocator, view.length, wide, makeMutable, chars);
    if (string) CopyUnits(chars, wide, 0, view);
    return string;
}

bool Splice(MutableString *string, size_t location, size_t count, const View &insert) {
    size_t length = string->length;
    if (insert.length > kMaxLength || length - count + insert.length > kMaxLength) return false;
    size_t newLength = length - count + insert.length;
    uint8_t *chars = string->Chars();
    bool wide = string->header.flags & kWide;
    bool toWide = wide || (insert.wide && !IsASCII(insert.Wide(), insert.length));
    size_t needed = toWide ? newLength * 2 : newLength + 1;

    if (toWide != wide || needed > string->capacity) {
        size_t capacity = std::max({needed, size_t(string->capacity) * 3 / 2, size_t(32)});
        capacity = std::min<size_t>(capacity, UINT32_MAX); // needed is below 2^32
        auto *fresh = static_cast<uint8_t *>(std::malloc(capacity));
        if (!fresh) return false;
        View old{chars, length, wide};
        size_t at = CopyUnits(fresh, toWide, 0, old.Sub(0, location));
        at = CopyUnits(fresh, toWide, at, insert);
        CopyUnits(fresh, toWide, at, old.Sub(location + count, length - location - count));
        if (string->header.flags & kExternal) std::free(string->buffer);
        string->buffer = fresh;
        string->capacity = uint32_t(capacity);
        string->header.flags |= kExternal;
        if (toWide) string->header.flags |= kWide;
    } else {
        // An insertion taken from this string's own characters is copied
        // first: moving the tail may overwrite it.
        size_t unit = wide ? 2 : 1;
        auto start = reinterpret_cast<uintptr_t>(chars);
        auto from = reinterpret_cast<uintptr_t>(insert.data);
        std::unique_ptr<uint8_t, decltype(&std::free)> copy(nullptr, &std::free);
        View source = insert;
        if (insert.length && from >= start && from < start + string->capacity) {
            size_t size = insert.length * (insert.wide ? 2 : 1);
            copy.reset(static_cast<uint8_t *>(std::malloc(size)));
            if (!copy) return false;
            std::memcpy(copy.get(), insert.data, size);
            source.data = copy.get();
        }
        size_t tail = length - location - count;
        if (tail && insert.length != count)
            std::memmove(chars + (location + insert.length) * unit,
                         chars + (location + count) * unit, tail * unit);
        CopyUnits(chars, wide, location, source);
    }
    string->length = uint32_t(newLength);
    if (!toWide) string->Chars()[newLength] = 0;
    return true;
}

} // namespace vt::cf::str

namespace vt::cf {

void StringAppendUTF8(CFStringRef string, std::string &out) {
    View view;
    if (GetView(string, view)) AppendUTF8(view, out);
}

std::string StringToUTF8(CFStringRef string) {
    std::string out;
    StringAppendUTF8(string, out);
    return out;
}

CFHashCode StringHashASCII(const char *bytes, size_t length) {
    return CFHashCode(HashUnits(reinterpret_cast<const uint8_t *>(bytes), length));
}

bool StringGetASCIIBytes(CFStringRef string, std::string_view &bytes) {
    View view;
    if (!GetView(string, view) || view.wide) return false;
    bytes = {reinterpret_cast<const char *>(view.Narrow()), view.length};
    return true;
}

bool StringIsASCII(CFStringRef string) {
    View view;
    if (!GetView(string, view)) return false;
    if (!view.wide) return true;
    return AsMutable(string) && IsASCII(view.Wide(), view.length);
}

bool StringIsMutable(CFTypeRef cf) {
    return str::AsMutable(cf) != nullptr;
}

} // namespace vt::cf

extern "C" {

constinit const __VTRuntimeClass __VTConstantStringClass = {
    kTypeIDString, "CFString", nullptr, StringEqual, StringHash, StringDescribe,
};

CFTypeID CFStringGetTypeID(void) {
    return kTypeIDString;
}

CFStringRef __CFStringMakeConstantString(const char *cStr) {
    if (!cStr) return nullptr;
    static std::mutex mutex;
    static auto *interned =
        new std::unordered_map<std::string, CFStringRef, TextHash, std::equal_to<>>();
    try {
        std::string_view text(cStr);
        std::lock_guard lock(mutex);
        auto found = interned->find(text);
        if (found != interned->end()) return found->second;
        Builder builder;
        DecodeUTF8OrLatin1(reinterpret_cast<const uint8_t *>(cStr), text.size(), builder);
        CFStringRef string = CreateWithView(kCFAllocatorSystemDefault, builder.GetView(), false);
        if (!string) return nullptr;
        MakeImmortal(string);
        interned->emplace(text, string);
        return string;
    } catch (const std::exception &) {
        return nullptr;
    }
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef alloc, const UniChar *chars,
                                         CFIndex numChars) {
    if (numChars < 0 || (numChars > 0 && !chars)) return nullptr;
    return CreateWithView(alloc, View{chars, size_t(numChars), true}, false);
}

CFStringRef CFStringCreateWithSubstring(CFAllocatorRef alloc, CFStringRef str, CFRange range) {
    View view;
    if (!GetView(str, view) || !ValidRange(range, view.length)) return nullptr;
    if (!AsMutable(str) && size_t(range.length) == view.length) return CFStringRef(CFRetain(str));
    return CreateWithView(alloc, view.Sub(size_t(range.location), size_t(range.length)), false);
}

CFStringRef CFStringCreateCopy(CFAllocatorRef alloc, CFStringRef theString) {
    View view;
    if (!GetView(theString, view)) return nullptr;
    if (!AsMutable(theString)) return CFStringRef(CFRetain(theString));
    return CreateWithView(alloc, view, false);
}

CFMutableStringRef CFStringCreateMutable(CFAllocatorRef alloc, CFIndex maxLength) {
    if (maxLength < 0) return nullptr;
    return CFMutableStringRef(CreateWithView(alloc, View{}, true));
}

CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef alloc, CFIndex maxLength,
                                             CFStringRef theString) {
    View view;
    if (maxLength < 0 || !GetView(theString, view)) return nullptr;
    return CFMutableStringRef(CreateWithView(alloc, view, true));
}

CFIndex CFStringGetLength(CFStringRef theString) {
    View view;
    return GetView(theString, view) ? CFIndex(view.length) : 0;
}

UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx) {
    View view;
    if (!GetView(theString, view) || idx < 0 || size_t(idx) >= view.length) return 0;
    return view[size_t(idx)];
}

void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar *buffer) {
    View view;
    if (!buffer || !GetView(theString, view) || !ValidRange(range, view.length)) return;
    CopyUnits(reinterpret_cast<uint8_t *>(buffer), true, 0,
              view.Sub(size_t(range.location), size_t(range.length)));
}

void CFStringAppend(CFMutableStringRef theString, CFStringRef appendedString) {
    MutableString *string = AsMutable(theString);
    View view;
    if (string && GetView(appendedString, view)) Splice(string, string->length, 0, view);
}

void CFStringAppendCharacters(CFMutableStringRef theString, const UniChar *chars,
                              CFIndex numChars) {
    MutableString *string = AsMutable(theString);
    if (string && chars && numChars > 0)
        Splice(string, string->length, 0, View{chars, size_t(numChars), true});
}

void CFStringInsert(CFMutableStringRef str, CFIndex idx, CFStringRef insertedStr) {
    MutableString *string = AsMutable(str);
    View view;
    if (string && idx >= 0 && size_t(idx) <= string->length && GetView(insertedStr, view))
        Splice(string, size_t(idx), 0, view);
}

void CFStringDelete(CFMutableStringRef theString, CFRange range) {
    MutableString *string = AsMutable(theString);
    if (string && ValidRange(range, string->length))
        Splice(string, size_t(range.location), size_t(range.length), View{});
}

void CFStringReplace(CFMutableStringRef theString, CFRange range, CFStringRef replacement) {
    MutableString *string = AsMutable(theString);
    View view;
    if (string && ValidRange(range, string->length) && GetView(replacement, view))
        Splice(string, size_t(range.location), size_t(range.length), view);
}

void CFStringReplaceAll(CFMutableStringRef theString, CFStringRef replacement) {
    MutableString *string = AsMutable(theString);
    View view;
    if (string && GetView(replacement, view)) Splice(string, 0, string->length, view);
}

SInt32 CFStringGetIntValue(CFStringRef str) {
    View view;
    if (!GetView(str, view)) return 0;
    size_t i = 0;
    while (i < view.length && IsSpace(view[i]))
        ++i;
    bool negative = false;
    if (i < view.length && (view[i] == '+' || view[i] == '-')) negative = view[i++] == '-';
    int64_t value = 0;
    for (; i < view.length && view[i] >= '0' && view[i] <= '9'; ++i) {
        value = value * 10 + (view[i] - '0');
        if (value > int64_t(INT32_MAX) + 1) break;
    }
    if (negative) return value > int64_t(INT32_MAX) ? INT32_MIN : SInt32(-value);
    return value > INT32_MAX ? INT32_MAX : SInt32(value);
}

double CFStringGetDoubleValue(CFStringRef str) {
    View view;
    if (!GetView(str, view)) return 0.0;
    size_t i = 0;
    while (i < view.length && IsSpace(view[i]))
        ++i;
    std::string text;
    try {
        for (; i < view.length && view[i] && view[i] < 0x80 &&
               std::strchr("0123456789.eE+-", view[i]);
             ++i)
            text += char(view[i]);
    } catch (const std::exception &) {
        return 0.0;
    }
    // The decimal point is '.' whatever the process's locale.
    static locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return cLocale ? strtod_l(text.c_str(), nullptr, cLocale) : 0.0;
}

} // extern "C"
