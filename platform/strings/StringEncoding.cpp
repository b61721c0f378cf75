// Converting strings to and from bytes in the supported encodings: UTF-8,
// ASCII, ISO Latin 1, UTF-16 and UTF-32 (with or without byte order marks).
#include "platform/strings/StringInternal.h"
#include "platform/strings/UTF8Decoder.h"
#include "platform/values/Guard.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdlib>
#include <iterator>
#include <memory>

using namespace vt::cf;
using namespace vt::cf::str;

namespace {

enum class Form { kUnsupported, kASCII, kLatin1, kUTF8, kUTF16BE, kUTF16LE, kUTF32BE, kUTF32LE };

constexpr bool kHostLittle = std::endian::native == std::endian::little;

Form FormOf(CFStringEncoding encoding) {
    switch (encoding) {
        case kCFStringEncodingASCII:
            return Form::kASCII;
        case kCFStringEncodingISOLatin1:
            return Form::kLatin1;
        case kCFStringEncodingUTF8:
            return Form::kUTF8;
        case kCFStringEncodingUTF16:
            return kHostLittle ? Form::kUTF16LE : Form::kUTF16BE;
        case kCFStringEncodingUTF16BE:
            return Form::kUTF16BE;
        case kCFStringEncodingUTF16LE:
            return Form::kUTF16LE;
        case kCFStringEncodingUTF32:
            return kHostLittle ? Form::kUTF32LE : Form::kUTF32BE;
        case kCFStringEncodingUTF32BE:
            return Form::kUTF32BE;
        case kCFStringEncodingUTF32LE:
            return Form::kUTF32LE;
        default:
            return Form::kUnsupported;
    }
}

size_t UnitSize(Form form) {
    switch (form) {
        case Form::kUTF16BE:
        case Form::kUTF16LE:
            return 2;
        case Form::kUTF32BE:
        case Form::kUTF32LE:
            return 4;
        default:
            return 1;
    }
}

bool IsHighSurrogate(uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

constexpr size_t kInvalid = SIZE_MAX;

// Decodes UTF-8 into out (room for `length` units; null only validates).
// Returns the UTF-16 units it makes, or kInvalid for ill-formed input.
size_t DecodeUTF8(const uint8_t *bytes, size_t length, UniChar *out) {
    UTF8Decoder decoder;
    size_t units = 0;
    // Two plain sinks rather than one that tests out for every unit: this is
    // the path of every non-ASCII string.
    if (out) {
        UniChar *cursor = out;
        auto store = [&cursor](UniChar unit) { *cursor++ = unit; };
        decoder.Decode(bytes, length, store);
        decoder.Finish(store);
        units = size_t(cursor - out);
    } else {
        auto count = [&units](UniChar) { ++units; };
        decoder.Decode(bytes, length, count);
        decoder.Finish(count);
    }
    return decoder.SawInvalid() ? kInvalid : units;
}

// NULL for bytes that are not UTF-8 (*invalid is then set, when given) or
// when memory runs out.
CFStringRef CreateFromUTF8(CFAllocatorRef allocator, const uint8_t *bytes, size_t length,
                           bool makeMutable, bool *invalid = nullptr) {
    if (IsASCII(bytes, length))
        return CreateWithView(allocator, View{bytes, length, false}, makeMutable);
    // UTF-8 never makes more UTF-16 units than it has bytes: decode once into
    // scratch space, then copy into a string of the exact size.
    UniChar small[256];
    std::unique_ptr<UniChar, decltype(&std::free)> large(nullptr, &std::free);
    UniChar *scratch = small;
    if (length > std::size(small)) {
        large.reset(static_cast<UniChar *>(std::malloc(length * sizeof(UniChar))));
        if (!large) return nullptr;
        scratch = large.get();
    }
    size_t units = DecodeUTF8(bytes, length, scratch);
    if (units == kInvalid) {
        if (invalid) *invalid = true;
        return nullptr;
    }
    uint8_t *chars = nullptr;
    CFStringRef string = AllocateString(allocator, units, true, makeMutable, chars);
    if (string) std::memcpy(chars, scratch, units * sizeof(UniChar));
    return string;
}

uint32_t ReadUnit(const uint8_t *bytes, size_t size, bool bigEndian) {
    uint32_t value = 0;
    for (size_t i = 0; i < size; ++i)
        value |= uint32_t(bytes[i]) << (8 * (bigEndian ? size - 1 - i : i));
    return value;
}

void WriteUnit(uint8_t *out, uint32_t value, size_t size, bool bigEndian) {
    for (size_t i = 0; i < size; ++i)
        out[i] = uint8_t(value >> (8 * (bigEndian ? size - 1 - i : i)));
}

bool DecodeUTF16(const uint8_t *bytes, size_t length, bool bigEndian, Builder &builder) {
    if (length % 2) return false;
    for (size_t i = 0; i < length; i += 2)
        builder.AppendUnit(UniChar(ReadUnit(bytes + i, 2, bigEndian)));
    return true;
}

bool DecodeUTF32(const uint8_t *bytes, size_t length, bool bigEndian, Builder &builder) {
    if (length % 4) return false;
    for (size_t i = 0; i < length; i += 4) {
        uint32_t codePoint = ReadUnit(bytes + i, 4, bigEndian);
        if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return false;
        builder.AppendCodePoint(codePoint);
    }
    return true;
}

// Converts units [location, end) of view into buffer (or only measures when
// buffer is null); returns the units converted and adds the bytes to used.
class Encoder {
  public:
    Encoder(Form form, uint8_t lossByte, uint8_t *buffer, size_t capacity)
        : form_(form), lossByte_(lossByte), buffer_(buffer), capacity_(capacity) {}

    size_t used() const { return used_; }

    bool Put(const uint8_t *bytes, size_t count) {
        if (buffer_) {
            if (count > capacity_ - used_) return false;
            std::memcpy(buffer_ + used_, bytes, count);
        }
        used_ += count;
        return true;
    }

    bool PutUnit(uint32_t value) {
        uint8_t bytes[4];
        size_t size = UnitSize(form_);
        WriteUnit(bytes, value, size, form_ == Form::kUTF16BE || form_ == Form::kUTF32BE);
        return Put(bytes, size);
    }

    size_t Encode(const View &view, size_t location, size_t end) {
        if (!view.wide &&
            (form_ == Form::kASCII || form_ == Form::kLatin1 || form_ == Form::kUTF8)) {
            size_t count = end - location;
            if (buffer_) count = std::min(count, capacity_ - used_);
            Put(view.Narrow() + location, count);
            return count;
        }
        size_t i = location;
        while (i < end) {
            uint32_t unit = view[i];
            size_t consumed = 1;
            bool ok = true;
            switch (form_) {
                case Form::kASCII:
                case Form::kLatin1:
                    if (unit >= (form_ == Form::kASCII ? 0x80u : 0x100u))
                        ok = false;
                    else if (!PutByte(uint8_t(unit)))
                        return i - location;
                    break;
                case Form::kUTF8:
                    if (!(ok = CodePointAt(view, i, end, unit, consumed))) break;
                    if (!PutUTF8(unit)) return i - location;
                    break;
                case Form::kUTF16BE:
                case Form::kUTF16LE:
                    if (!PutUnit(unit)) return i - location;
                    break;
                case Form::kUTF32BE:
                case Form::kUTF32LE:
                    if (!(ok = CodePointAt(view, i, end, unit, consumed))) break;
                    if (!PutUnit(unit)) return i - location;
                    break;
                case Form::kUnsupported:
                    return 0;
            }
            if (!ok) {
                if (!lossByte_) break;
                bool put = UnitSize(form_) == 1 ? PutByte(lossByte_) : PutUnit(lossByte_);
                if (!put) break;
            }
            i += consumed;
        }
        return i - location;
    }

  private:
    // Joins a surrogate pair starting at i into one code point; false for an
    // unpaired surrogate, which UTF-8 and UTF-32 cannot carry.
    static bool CodePointAt(const View &view, size_t i, size_t end, uint32_t &unit,
                            size_t &consumed) {
        if (IsHighSurrogate(unit) && i + 1 < end && IsLowSurrogate(view[i + 1])) {
            consumed = 2;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (view[i + 1] - 0xDC00u);
            return true;
        }
        return !IsHighSurrogate(unit) && !IsLowSurrogate(unit);
    }

    bool PutByte(uint8_t byte) { return Put(&byte, 1); }

    bool PutUTF8(uint32_t codePoint) {
        uint8_t bytes[4];
        size_t size;
        if (codePoint < 0x80) {
            bytes[0] = uint8_t(codePoint);
            size = 1;
        } else if (codePoint < 0x800) {
            bytes[0] = uint8_t(0xC0 | codePoint >> 6);
            bytes[1] = uint8_t(0x80 | (codePoint & 0x3F));
            size = 2;
        } else if (codePoint < 0x10000) {
            bytes[0] = uint8_t(0xE0 | codePoint >> 12);
            bytes[1] = uint8_t(0x80 | (codePoint >> 6 & 0x3F));
            bytes[2] = uint8_t(0x80 | (codePoint & 0x3F));
            size = 3;
        } else {
            bytes[0] = uint8_t(0xF0 | codePoint >> 18);
            bytes[1] = uint8_t(0x80 | (codePoint >> 12 & 0x3F));
            bytes[2] = uint8_t(0x80 | (codePoint >> 6 & 0x3F));
            bytes[3] = uint8_t(0x80 | (codePoint & 0x3F));
            size = 4;
        }
        return Put(bytes, size);
    }

    Form form_;
    uint8_t lossByte_;
    uint8_t *buffer_;
    size_t capacity_;
    size_t used_ = 0;
};

// Converts a range, with a byte order mark first when asked for the generic
// UTF-16 or UTF-32 encodings' external representation.
size_t EncodeRange(const View &view, size_t location, size_t length, CFStringEncoding encoding,
                   uint8_t lossByte, bool external, uint8_t *buffer, size_t capacity,
                   size_t &used) {
    used = 0;
    Form form = FormOf(encoding);
    if (form == Form::kUnsupported) return 0;
    Encoder encoder(form, lossByte, buffer, capacity);
    if (external && (encoding == kCFStringEncodingUTF16 || encoding == kCFStringEncodingUTF32) &&
        !encoder.PutUnit(0xFEFF))
        return 0;
    size_t converted = encoder.Encode(view, location, location + length);
    used = encoder.used();
    return converted;
}

CFStringRef CreateWithBytes(CFAllocatorRef allocator, const uint8_t *bytes, size_t length,
                            CFStringEncoding encoding) {
    if (encoding == kCFStringEncodingUTF8) {
        if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
            bytes += 3;
            length -= 3;
        }
        return CreateFromUTF8(allocator, bytes, length, false);
    }
    if (encoding == kCFStringEncodingASCII || encoding == kCFStringEncodingISOLatin1) {
        if (IsASCII(bytes, length))
            return CreateWithView(allocator, View{bytes, length, false}, false);
        if (encoding == kCFStringEncodingASCII) return nullptr;
    }
    try {
        Builder builder;
        if (!Decode(bytes, length, encoding, builder)) return nullptr;
        return CreateWithView(allocator, builder.GetView(), false);
    } catch (const std::exception &) {
        return nullptr;
    }
}

} // namespace

namespace vt::cf::str {

bool Decode(const uint8_t *bytes, size_t length, CFStringEncoding encoding, Builder &builder) {
    switch (encoding) {
        case kCFStringEncodingUTF8: {
            if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
                bytes += 3;
                length -= 3;
            }
            if (IsASCII(bytes, length)) {
                builder.AppendASCII(reinterpret_cast<const char *>(bytes), length);
                return true;
            }
            std::vector<UniChar> decoded(length);
            size_t units = DecodeUTF8(bytes, length, decoded.data());
            if (units == kInvalid) return false;
            builder.Append(View{decoded.data(), units, true});
            return true;
        }
        case kCFStringEncodingASCII:
            if (!IsASCII(bytes, length)) return false;
            builder.AppendASCII(reinterpret_cast<const char *>(bytes), length);
            return true;
        case kCFStringEncodingISOLatin1:
            builder.AppendLatin1(bytes, length);
            return true;
        case kCFStringEncodingUTF16: {
            bool bigEndian = !kHostLittle;
            if (length >= 2 && ((bytes[0] == 0xFE && bytes[1] == 0xFF) ||
                                (bytes[0] == 0xFF && bytes[1] == 0xFE))) {
                bigEndian = bytes[0] == 0xFE;
                bytes += 2;
                length -= 2;
            }
            return DecodeUTF16(bytes, length, bigEndian, builder);
        }
        case kCFStringEncodingUTF16BE:
        case kCFStringEncodingUTF16LE:
            return DecodeUTF16(bytes, length, encoding == kCFStringEncodingUTF16BE, builder);
        case kCFStringEncodingUTF32: {
            bool bigEndian = !kHostLittle;
            if (length >= 4 &&
                (ReadUnit(bytes, 4, true) == 0xFEFF || ReadUnit(bytes, 4, false) == 0xFEFF)) {
                bigEndian = ReadUnit(bytes, 4, true) == 0xFEFF;
                bytes += 4;
                length -= 4;
            }
            return DecodeUTF32(bytes, length, bigEndian, builder);
        }
        case kCFStringEncodingUTF32BE:
        case kCFStringEncodingUTF32LE:
            return DecodeUTF32(bytes, length, encoding == kCFStringEncodingUTF32BE, builder);
        default:
            return false;
    }
}

void DecodeUTF8OrLatin1(const uint8_t *bytes, size_t length, Builder &builder) {
    if (!Decode(bytes, length, kCFStringEncodingUTF8, builder)) builder.AppendLatin1(bytes, length);
}

void AppendUTF8(const View &view, std::string &out) {
    if (!view.wide) {
        out.append(reinterpret_cast<const char *>(view.Narrow()), view.length);
        return;
    }
    const UniChar *units = view.Wide();
    size_t start = out.size();
    out.resize(start + view.length * 3);
    char *p = out.data() + start;
    for (size_t i = 0; i < view.length; ++i) {
        uint32_t c = units[i];
        if (c < 0x80) {
            *p++ = char(c);
        } else if (c < 0x800) {
            *p++ = char(0xC0 | c >> 6);
            *p++ = char(0x80 | (c & 0x3F));
        } else {
            if (IsHighSurrogate(c) && i + 1 < view.length && IsLowSurrogate(units[i + 1])) {
                c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00u);
                *p++ = char(0xF0 | c >> 18);
                *p++ = char(0x80 | (c >> 12 & 0x3F));
            } else {
                if (IsHighSurrogate(c) || IsLowSurrogate(c)) c = 0xFFFD;
                *p++ = char(0xE0 | c >> 12);
            }
            *p++ = char(0x80 | (c >> 6 & 0x3F));
            *p++ = char(0x80 | (c & 0x3F));
        }
    }
    out.resize(size_t(p - out.data()));
}

} // namespace vt::cf::str

namespace vt::cf {

CFStringRef StringCreateWithValidUTF8(CFAllocatorRef allocator, const char *bytes, size_t length,
                                      bool makeMutable) {
    static const uint8_t kEmpty = 0;
    auto *text = length ? reinterpret_cast<const uint8_t *>(bytes) : &kEmpty;
    bool invalid = false;
    if (CFStringRef string = CreateFromUTF8(allocator, text, length, makeMutable, &invalid))
        return string;
    // Out of memory is a failure, never a reason to read the text another way.
    if (!invalid) return nullptr;
    // Not reached for well-formed input; other bytes still make a string.
    try {
        Builder builder;
        builder.AppendLatin1(text, length);
        return CreateWithView(allocator, builder.GetView(), makeMutable);
    } catch (const std::exception &) {
        return nullptr;
    }
}

} // namespace vt::cf

extern "C" {

CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8 *bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation) {
    (void)isExternalRepresentation; // byte order marks are honoured either way
    if (numBytes < 0 || (numBytes > 0 && !bytes)) return nullptr;
    static const uint8_t kEmpty = 0;
    return CreateWithBytes(alloc, numBytes ? bytes : &kEmpty, size_t(numBytes), encoding);
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char *cStr,
                                      CFStringEncoding encoding) {
    if (!cStr) return nullptr;
    return CreateWithBytes(alloc, reinterpret_cast<const uint8_t *>(cStr), std::strlen(cStr),
                           encoding);
}

CFStringRef CFStringCreateWithFileSystemRepresentation(CFAllocatorRef alloc, const char *buffer) {
    return CFStringCreateWithCString(alloc, buffer, kCFStringEncodingUTF8);
}

CFStringRef CFStringCreateFromExternalRepresentation(CFAllocatorRef alloc, CFDataRef data,
                                                     CFStringEncoding encoding) {
    if (TypeOf(data) != kTypeIDData) return nullptr;
    return CFStringCreateWithBytes(alloc, CFDataGetBytePtr(data), CFDataGetLength(data), encoding,
                                   true);
}

CFDataRef CFStringCreateExternalRepresentation(CFAllocatorRef alloc, CFStringRef theString,
                                               CFStringEncoding encoding, UInt8 lossByte) {
    View view;
    if (!GetView(theString, view) || FormOf(encoding) == Form::kUnsupported) return nullptr;
    size_t used = 0;
    if (EncodeRange(view, 0, view.length, encoding, lossByte, true, nullptr, 0, used) !=
        view.length)
        return nullptr;
    std::unique_ptr<uint8_t, decltype(&std::free)> bytes(
        static_cast<uint8_t *>(std::malloc(std::max<size_t>(used, 1))), &std::free);
    if (!bytes) return nullptr;
    EncodeRange(view, 0, view.length, encoding, lossByte, true, bytes.get(), used, used);
    return CFDataCreate(alloc, bytes.get(), CFIndex(used));
}

void CFStringAppendCString(CFMutableStringRef theString, const char *cStr,
                           CFStringEncoding encoding) {
    MutableString *string = AsMutable(theString);
    if (!string || !cStr) return;
    vt::Guard([&] {
        Builder builder;
        if (Decode(reinterpret_cast<const uint8_t *>(cStr), std::strlen(cStr), encoding, builder))
            Splice(string, string->length, 0, builder.GetView());
    });
}

Boolean CFStringGetCString(CFStringRef theString, char *buffer, CFIndex bufferSize,
                           CFStringEncoding encoding) {
    if (!buffer || bufferSize <= 0) return false;
    View view;
    Form form = FormOf(encoding);
    size_t terminator = UnitSize(form);
    if (!GetView(theString, view) || form == Form::kUnsupported ||
        size_t(bufferSize) < terminator) {
        buffer[0] = 0;
        return false;
    }
    auto *out = reinterpret_cast<uint8_t *>(buffer);
    size_t used = 0;
    size_t converted = EncodeRange(view, 0, view.length, encoding, 0, false, out,
                                   size_t(bufferSize) - terminator, used);
    if (converted != view.length) {
        std::memset(buffer, 0, std::min(size_t(bufferSize), terminator));
        return false;
    }
    std::memset(out + used, 0, terminator);
    return true;
}

const char *CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding) {
    if (encoding != kCFStringEncodingASCII && encoding != kCFStringEncodingUTF8) return nullptr;
    if (theString && Header(theString)->isa == &__VTConstantStringClass) {
        auto *constant = reinterpret_cast<const __VTConstantString *>(theString);
        auto *bytes = reinterpret_cast<const uint8_t *>(constant->bytes);
        size_t length = size_t(std::max<CFIndex>(constant->length, 0));
        if (IsASCII(bytes, length)) return constant->bytes;
        if (encoding == kCFStringEncodingUTF8 && DecodeUTF8(bytes, length, nullptr) != kInvalid)
            return constant->bytes;
        return nullptr;
    }
    View view;
    if (!GetView(theString, view) || view.wide) return nullptr;
    return reinterpret_cast<const char *>(view.Narrow());
}

CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding,
                         UInt8 lossByte, Boolean isExternalRepresentation, UInt8 *buffer,
                         CFIndex maxBufLen, CFIndex *usedBufLen) {
    View view;
    size_t used = 0, converted = 0;
    if (GetView(theString, view) && ValidRange(range, view.length))
        converted = EncodeRange(view, size_t(range.location), size_t(range.length), encoding,
                                lossByte, isExternalRepresentation, buffer,
                                size_t(std::max<CFIndex>(maxBufLen, 0)), used);
    if (usedBufLen) *usedBufLen = CFIndex(used);
    return CFIndex(converted);
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding) {
    Form form = FormOf(encoding);
    if (length < 0 || form == Form::kUnsupported) return kCFNotFound;
    CFIndex perUnit = form == Form::kUTF8 ? 3 : CFIndex(UnitSize(form));
    if (length > LONG_MAX / perUnit) return kCFNotFound;
    return length * perUnit;
}

CFIndex CFStringGetMaximumSizeOfFileSystemRepresentation(CFStringRef string) {
    View view;
    if (!GetView(string, view)) return 0;
    return CFIndex(view.length * 3 + 1);
}

Boolean CFStringGetFileSystemRepresentation(CFStringRef string, char *buffer, CFIndex maxBufLen) {
    return CFStringGetCString(string, buffer, maxBufLen, kCFStringEncodingUTF8);
}

} // extern "C"
