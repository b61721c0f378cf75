// The string type's internal interface: fast paths for the property-list
// reader and writer, exported constant strings for other subsystems, and the
// storage layout the String*.cpp files share.
#pragma once

#include "platform/strings/ConstantString.h"
#include "platform/values/Runtime.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace vt::cf {

// A string from bytes already known to be valid UTF-8 (the XML parser checked
// them); mutable when asked. Returns nullptr only when memory runs out.
CFStringRef StringCreateWithValidUTF8(CFAllocatorRef allocator, const char *bytes, size_t length,
                                      bool makeMutable);

// Appends the string's UTF-8 bytes to out; unpaired surrogates become U+FFFD.
// Does nothing for NULL or a non-string.
void StringAppendUTF8(CFStringRef string, std::string &out);

// The string's UTF-8 text; empty for NULL or a non-string.
std::string StringToUTF8(CFStringRef string);

// The characters of a string stored 8-bit, which it is only when every
// character is ASCII, without a copy; false for any other string. Valid until
// the string changes.
bool StringGetASCIIBytes(CFStringRef string, std::string_view &bytes);

// The CFHash of a string of these ASCII characters, worked out from the
// bytes without making the string.
CFHashCode StringHashASCII(const char *bytes, size_t length);

// True when every character is ASCII. Immediate for everything but a mutable
// string that once held non-ASCII characters.
bool StringIsASCII(CFStringRef string);

} // namespace vt::cf

// Storage shared by the String*.cpp files; nothing outside them uses it.
namespace vt::cf::str {

// ObjectHeader::flags bits.
enum : uint8_t {
    kWide = 1,     // UTF-16 units; otherwise 8-bit, all ASCII, NUL-terminated
    kMutable = 2,  // a MutableString
    kExternal = 4, // a MutableString whose characters moved to a malloc'd buffer
};

// Lengths stay below 2^31 units so that a UTF-16 capacity fits 32 bits.
inline constexpr size_t kMaxLength = 0x7fffffff;

extern const __VTRuntimeClass kStringClass;

// One allocation: header, length, characters.
struct ImmutableString {
    ObjectHeader header;
    uint32_t length;
    uint8_t chars[4]; // the first of the characters that follow

    ImmutableString(uint8_t allocator, uint32_t count, uint8_t flags)
        : header(&kStringClass, 1, allocator, flags), length(count) {}
    uint8_t *Chars() { return reinterpret_cast<uint8_t *>(this) + kCharsOffset; }
    static constexpr size_t kCharsOffset = 20;
};

// Starts with its characters inline (exactly as many as it was created with),
// and moves them to a growable buffer on the first edit that needs more room.
struct MutableString {
    ObjectHeader header;
    uint32_t length;
    uint32_t capacity; // bytes of character storage
    union {
        uint8_t *buffer; // with kExternal
        uint8_t inlineChars[8];
    };

    MutableString(uint8_t allocator, uint32_t count, uint8_t flags, uint32_t bytes)
        : header(&kStringClass, 1, allocator, uint8_t(flags | kMutable)), length(count),
          capacity(bytes) {}
    uint8_t *Chars() {
        return (header.flags & kExternal) ? buffer
                                          : reinterpret_cast<uint8_t *>(this) + kInlineOffset;
    }
    static constexpr size_t kInlineOffset = 24;
};

// A string's characters as stored: 8-bit ASCII or UTF-16 units.
struct View {
    const void *data = nullptr;
    size_t length = 0;
    bool wide = false;

    const uint8_t *Narrow() const { return static_cast<const uint8_t *>(data); }
    const UniChar *Wide() const { return static_cast<const UniChar *>(data); }
    UniChar operator[](size_t i) const { return wide ? Wide()[i] : Narrow()[i]; }
    View Sub(size_t location, size_t count) const {
        const void *start = wide ? static_cast<const void *>(Wide() + location)
                                 : static_cast<const void *>(Narrow() + location);
        return {start, count, wide};
    }
};

// Calls f(pointer, length) with the view's typed characters.
template <class F>
decltype(auto) Visit(const View &view, F &&f) {
    return view.wide ? f(view.Wide(), view.length) : f(view.Narrow(), view.length);
}

bool ConstantView(CFTypeRef cf, View &view);

// The characters of a string (constant, immutable or mutable); false for NULL
// or a non-string.
inline bool GetView(CFTypeRef cf, View &view) {
    if (!cf) return false;
    const ObjectHeader *header = Header(cf);
    if (header->isa == &kStringClass) {
        bool wide = header->flags & kWide;
        if (header->flags & kMutable) {
            auto *string = static_cast<MutableString *>(const_cast<void *>(cf));
            view = {string->Chars(), string->length, wide};
        } else {
            auto *string = static_cast<ImmutableString *>(const_cast<void *>(cf));
            view = {string->Chars(), string->length, wide};
        }
        return true;
    }
    if (header->isa == &__VTConstantStringClass) return ConstantView(cf, view);
    return false;
}

inline MutableString *AsMutable(CFTypeRef cf) {
    if (!cf || Header(cf)->isa != &kStringClass || !(Header(cf)->flags & kMutable)) return nullptr;
    return static_cast<MutableString *>(const_cast<void *>(cf));
}

inline bool IsASCII(const uint8_t *bytes, size_t length) {
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        if (word & 0x8080808080808080ull) return false;
    }
    for (; i < length; ++i)
        if (bytes[i] & 0x80) return false;
    return true;
}

inline bool IsASCII(const UniChar *units, size_t length) {
    UniChar any = 0;
    for (size_t i = 0; i < length; ++i)
        any |= units[i];
    return any < 0x80;
}

inline bool IsASCII(const View &view) {
    return Visit(view, [](const auto *chars, size_t n) { return IsASCII(chars, n); });
}

// True when range lies within a string of the given length.
inline bool ValidRange(CFRange range, size_t length) {
    return range.location >= 0 && range.length >= 0 && size_t(range.location) <= length &&
           size_t(range.length) <= length - size_t(range.location);
}

// Accumulates characters, as 8-bit text while they are ASCII.
class Builder {
  public:
    void Append(const View &view);
    void AppendASCII(const char *text, size_t count) {
        if (wide_)
            wideUnits_.insert(wideUnits_.end(), text, text + count);
        else
            narrow_.append(text, count);
    }
    void AppendLatin1(const uint8_t *bytes, size_t count);
    void AppendUnit(UniChar unit);
    void AppendCodePoint(uint32_t codePoint);
    void AppendRepeated(char c, size_t count);
    View GetView() const {
        return wide_ ? View{wideUnits_.data(), wideUnits_.size(), true}
                     : View{narrow_.data(), narrow_.size(), false};
    }

  private:
    void Widen();

    std::string narrow_;
    std::vector<UniChar> wideUnits_;
    bool wide_ = false;
};

// A new string holding the view's characters (8-bit when they are all ASCII).
CFStringRef CreateWithView(CFAllocatorRef allocator, const View &view, bool makeMutable);

// A new string of `length` units for the caller to fill in: UTF-16 holding at
// least one non-ASCII unit, or 8-bit ASCII (NUL-terminated here). nullptr when
// memory runs out or the length is too large.
CFStringRef AllocateString(CFAllocatorRef allocator, size_t length, bool wide, bool makeMutable,
                           uint8_t *&chars);

// Replaces count units at location with the view's characters; false when
// memory runs out or the result would be too long (the string is unchanged).
bool Splice(MutableString *string, size_t location, size_t count, const View &insert);

// Decodes bytes in an encoding into builder; false for invalid input or an
// unsupported encoding.
bool Decode(const uint8_t *bytes, size_t length, CFStringEncoding encoding, Builder &builder);

// A whole string as UTF-8; unpaired surrogates become U+FFFD.
void AppendUTF8(const View &view, std::string &out);

// Decodes valid-or-not UTF-8; invalid text is read as ISO Latin 1.
void DecodeUTF8OrLatin1(const uint8_t *bytes, size_t length, Builder &builder);

} // namespace vt::cf::str
