// The XML writer. Output is canonical (tab indentation, sorted keys, fixed
// number and date forms) so that documents diff well between saves. It writes
// into one growing buffer that becomes the CFData without a copy, or that is
// flushed to a stream in pieces.
#include "CivilDate.h"
#include "PropertyListInternal.h"
#include "Walk.h"

#include "platform/strings/StringInternal.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace vt::plist {

namespace {

constexpr std::string_view kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                     "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                     "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                     "<plist version=\"1.0\">\n";
constexpr std::string_view kFooter = "</plist>\n";

#ifdef __linux__
// Blocks in anonymous mappings of their own, with the mapping's length in a
// header before the bytes. Growing one with mremap moves pages instead of
// copying bytes, and freeing one gives every page back.
constexpr size_t kMappedHeader = 16;

void *MapBlock(CFIndex size, CFOptionFlags, void *) {
    size_t length = kMappedHeader + size_t(size);
    void *base =
        ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return nullptr;
    *static_cast<size_t *>(base) = length;
    return static_cast<char *>(base) + kMappedHeader;
}

void *RemapBlock(void *bytes, CFIndex size, CFOptionFlags, void *) {
    char *base = static_cast<char *>(bytes) - kMappedHeader;
    size_t length = kMappedHeader + size_t(size);
    void *moved = ::mremap(base, *reinterpret_cast<size_t *>(base), length, MREMAP_MAYMOVE);
    if (moved == MAP_FAILED) return nullptr;
    *static_cast<size_t *>(moved) = length;
    return static_cast<char *>(moved) + kMappedHeader;
}

void UnmapBlock(void *bytes, void *) {
    char *base = static_cast<char *>(bytes) - kMappedHeader;
    ::munmap(base, *reinterpret_cast<size_t *>(base));
}

// Made once and kept for the life of the process; NULL if it cannot be made.
CFAllocatorRef MappedAllocator() {
    static CFAllocatorRef allocator = [] {
        CFAllocatorContext context{};
        context.allocate = MapBlock;
        context.reallocate = RemapBlock;
        context.deallocate = UnmapBlock;
        return CFAllocatorCreate(kCFAllocatorSystemDefault, &context);
    }();
    return allocator;
}
#else
CFAllocatorRef MappedAllocator() {
    return nullptr;
}
#endif

// Output bytes in one block. Running out of memory marks the buffer failed
// and turns later writes into no-ops, so callers check once at the end.
// Small output grows in malloc'd memory. Past kMapFrom bytes it moves once to
// a mapped block: growing in the heap would copy the bytes at each doubling
// and leave the old blocks behind as free heap, which a 10 MB document's save
// turned into 8 MB of extra peak memory.
class Buffer {
  public:
    Buffer() = default;
    ~Buffer() {
        if (data_) CFAllocatorDeallocate(allocator_, data_);
    }
    Buffer(const Buffer &) = delete;
    Buffer &operator=(const Buffer &) = delete;

    bool Failed() const { return failed_; }
    const char *Data() const { return data_; }
    size_t Size() const { return size_; }
    void Clear() { size_ = 0; }
    // Hands the block to the caller, who frees it with CFAllocatorDeallocate
    // on `allocator`.
    char *Release(CFAllocatorRef &allocator) {
        char *data = data_;
        allocator = allocator_;
        if (data && size_ < capacity_)
            if (void *fitted =
                    CFAllocatorReallocate(allocator_, data, CFIndex(size_ ? size_ : 1), 0))
                data = static_cast<char *>(fitted);
        data_ = nullptr;
        size_ = capacity_ = 0;
        return data;
    }

    // Space for n more bytes; fill it, then Commit what was used.
    char *Reserve(size_t n) {
        if (capacity_ - size_ >= n) return data_ + size_;
        return Grow(n);
    }
    void Commit(size_t n) { size_ += n; }
    void Append(std::string_view text) {
        if (char *p = Reserve(text.size())) {
            std::memcpy(p, text.data(), text.size());
            size_ += text.size();
        }
    }

  private:
    static constexpr size_t kMapFrom = 256 << 10;

    char *Grow(size_t n) {
        if (failed_) return nullptr;
        size_t capacity = std::max<size_t>(capacity_ * 2, 64 * 1024);
        while (capacity - size_ < n)
            capacity *= 2;
        if (capacity > size_t(PTRDIFF_MAX) / 2) return Fail();
        void *data = nullptr;
        CFAllocatorRef mapped = capacity >= kMapFrom ? MappedAllocator() : nullptr;
        if (mapped && allocator_ != mapped) {
            data = CFAllocatorAllocate(mapped, CFIndex(capacity), 0);
            if (!data) return Fail();
            if (data_) {
                std::memcpy(data, data_, size_);
                CFAllocatorDeallocate(allocator_, data_);
            }
            allocator_ = mapped;
        } else {
            data = CFAllocatorReallocate(allocator_, data_, CFIndex(capacity), 0);
            if (!data) return Fail();
        }
        data_ = static_cast<char *>(data);
        capacity_ = capacity;
        return data_ + size_;
    }
    char *Fail() {
        failed_ = true;
        return nullptr;
    }

    char *data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    CFAllocatorRef allocator_ = kCFAllocatorMalloc;
    bool failed_ = false;
};

// How each byte of a string's UTF-8 is written. XML 1.0 cannot carry most
// control characters even as references, and a file holding one raw could
// never be read again, so such a string makes the write fail instead. A
// carriage return is written as a reference because readers turn a raw one
// into a line feed.
enum ByteClass : uint8_t { kPlain, kEscaped, kUnwritable, kCheckNonCharacter };

constexpr std::array<uint8_t, 256> kByteClass = [] {
    std::array<uint8_t, 256> table{};
    for (int c = 0; c < 0x20; ++c)
        table[c] = kUnwritable;
    table['\t'] = table['\n'] = kPlain;
    table['&'] = table['<'] = table['>'] = table['\r'] = kEscaped;
    table[0xEF] = kCheckNonCharacter; // U+FFFE and U+FFFF are EF BF BE / EF BF BF
    return table;
}();

constexpr size_t kUnwritableText = SIZE_MAX;

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

char *Put(char *p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

#ifdef __SSE2__
// True when none of the 16 bytes at p is anything but kPlain: no control
// character, no &, < or >, and no 0xEF lead byte.
inline bool AllPlain16(const char *p) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    __m128i special = _mm_cmpeq_epi8(_mm_max_epu8(v, _mm_set1_epi8(0x1F)), _mm_set1_epi8(0x1F));
    special = _mm_or_si128(special, _mm_cmpeq_epi8(v, _mm_set1_epi8('&')));
    special = _mm_or_si128(special, _mm_cmpeq_epi8(v, _mm_set1_epi8('<')));
    special = _mm_or_si128(special, _mm_cmpeq_epi8(v, _mm_set1_epi8('>')));
    special = _mm_or_si128(special, _mm_cmpeq_epi8(v, _mm_set1_epi8(char(0xEF))));
    return _mm_movemask_epi8(special) == 0;
}
#endif

// The length of text once escaped, or kUnwritableText.
size_t EscapedLength(const char *text, size_t length) {
    size_t extra = 0;
    for (size_t i = 0; i < length;) {
        size_t end = length;
#ifdef __SSE2__
        // Most text has nothing to escape: skip it 16 bytes at a time, and
        // look byte by byte only at a block that holds something.
        if (length - i >= 16) {
            if (AllPlain16(text + i)) {
                i += 16;
                continue;
            }
            end = i + 16;
        }
#endif
        for (; i < end; ++i) {
            switch (kByteClass[static_cast<unsigned char>(text[i])]) {
                case kPlain:
                    break;
                case kEscaped:
                    extra += text[i] == '&' ? 4 : text[i] == '\r' ? 4 : 3;
                    break;
                case kUnwritable:
                    return kUnwritableText;
                case kCheckNonCharacter:
                    if (i + 2 < length && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
                        (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE)
                        return kUnwritableText;
                    break;
            }
        }
    }
    return length + extra;
}

// Copies text, escaping &, <, > and carriage returns; p needs room for
// EscapedLength bytes.
char *PutEscaped(char *p, const char *text, size_t length) {
    size_t run = 0;
    for (size_t i = 0; i < length; ++i) {
        if (kByteClass[static_cast<unsigned char>(text[i])] != kEscaped) continue;
        std::memcpy(p, text + run, i - run);
        p += i - run;
        switch (text[i]) {
            case '&':
                p = Put(p, "&amp;");
                break;
            case '<':
                p = Put(p, "&lt;");
                break;
            case '>':
                p = Put(p, "&gt;");
                break;
            default:
                p = Put(p, "&#13;");
                break;
        }
        run = i + 1;
    }
    std::memcpy(p, text + run, length - run);
    return p + (length - run);
}

// The writable dates as CFAbsoluteTime: 0000-01-01T00:00:00Z up to, not
// including, 10000-01-01T00:00:00Z.
constexpr double kFirstWritableDate =
    double(DaysFromCivil({0, 1, 1}) * kSecondsPerDay - kUnixToAbsolute);
constexpr double kEndOfWritableDates =
    double(DaysFromCivil({10000, 1, 1}) * kSecondsPerDay - kUnixToAbsolute);

class XMLWriter {
  public:
    XMLWriter(Buffer &out, FILE *stream) : out_(out), stream_(stream) {}

    // The whole document; false for a non-property-list value, a failed write
    // or exhausted memory.
    bool Write(CFPropertyListRef root) {
        out_.Append(kHeader);
        if (!Walk(root, true, *this)) return false;
        out_.Append(kFooter);
        return Flush(true);
    }

    bool Leaf(CFTypeRef value, CFTypeID type) {
        switch (type) {
            case cf::kTypeIDString:
                if (!Element("string", static_cast<CFStringRef>(value))) return false;
                break;
            case cf::kTypeIDNumber:
                Number(static_cast<CFNumberRef>(value));
                break;
            case cf::kTypeIDBoolean:
                Line(CFBooleanGetValue(static_cast<CFBooleanRef>(value)) ? "<true/>" : "<false/>");
                break;
            case cf::kTypeIDData:
                Data(static_cast<CFDataRef>(value));
                break;
            case cf::kTypeIDDate:
                if (!Date(CFDateGetAbsoluteTime(static_cast<CFDateRef>(value)))) return false;
                break;
        }
        return Flush(false);
    }
    bool BeginArray(CFArrayRef, CFIndex count) { return Open(count, "<array>", "<array/>"); }
    bool BeginDictionary(CFDictionaryRef, CFIndex count) {
        return Open(count, "<dict>", "<dict/>");
    }
    bool Key(CFStringRef key) { return Element("key", key); }
    bool End(bool dictionary, CFIndex count) {
        if (count > 0) {
            --depth_;
            Line(dictionary ? "</dict>" : "</array>");
        }
        return Flush(false);
    }

  private:
    bool Open(CFIndex count, std::string_view open, std::string_view empty) {
        Line(count ? open : empty);
        if (count) ++depth_;
        return true;
    }

    // One indented line holding text.
    void Line(std::string_view text) {
        char *p = out_.Reserve(depth_ + text.size() + 1);
        if (!p) return;
        char *start = p;
        std::memset(p, '\t', depth_);
        p = Put(p + depth_, text);
        *p++ = '\n';
        out_.Commit(size_t(p - start));
    }

    // <tag>escaped text</tag> on one line; false when the text cannot be
    // written.
    bool Element(std::string_view tag, CFStringRef text) {
        // ASCII text is stored as its own UTF-8; only the rest needs encoding.
        std::string_view utf8;
        if (!cf::StringGetASCIIBytes(text, utf8)) {
            scratch_.clear();
            cf::StringAppendUTF8(text, scratch_);
            utf8 = scratch_;
        }
        const char *bytes = utf8.data();
        size_t length = utf8.size();
        size_t escaped = EscapedLength(bytes, length);
        if (escaped == kUnwritableText) return false;
        char *p = out_.Reserve(depth_ + 2 * tag.size() + 6 + escaped);
        if (!p) return true;
        char *start = p;
        std::memset(p, '\t', depth_);
        p += depth_;
        *p++ = '<';
        p = Put(p, tag);
        *p++ = '>';
        p = escaped == length ? Put(p, {bytes, length}) : PutEscaped(p, bytes, length);
        p = Put(p, "</");
        p = Put(p, tag);
        p = Put(p, ">\n");
        out_.Commit(size_t(p - start));
        return true;
    }

    // <tag>text</tag> where the text needs no escaping.
    void Simple(std::string_view tag, std::string_view text) {
        char *p = out_.Reserve(depth_ + 2 * tag.size() + 6 + text.size());
        if (!p) return;
        char *start = p;
        std::memset(p, '\t', depth_);
        p += depth_;
        *p++ = '<';
        p = Put(p, tag);
        *p++ = '>';
        p = Put(p, text);
        p = Put(p, "</");
        p = Put(p, tag);
        p = Put(p, ">\n");
        out_.Commit(size_t(p - start));
    }

    void Number(CFNumberRef number) {
        char text[64];
        std::to_chars_result result{};
        if (CFNumberIsFloatType(number)) {
            double value = 0;
            CFNumberGetValue(number, kCFNumberFloat64Type, &value);
            if (std::isnan(value)) return Simple("real", "nan");
            if (std::isinf(value)) return Simple("real", value > 0 ? "+infinity" : "-infinity");
            result = std::to_chars(text, text + sizeof text, value);
            return Simple("real", std::string_view(text, size_t(result.ptr - text)));
        }
        if (CFNumberGetType(number) == kCFNumberSInt128Type) {
            struct {
                SInt64 high;
                UInt64 low;
            } wide = {0, 0};
            CFNumberGetValue(number, kCFNumberSInt128Type, &wide);
            result = wide.high == 0 ? std::to_chars(text, text + sizeof text, wide.low)
                                    : std::to_chars(text, text + sizeof text, SInt64(wide.low));
        } else {
            SInt64 value = 0;
            CFNumberGetValue(number, kCFNumberSInt64Type, &value);
            result = std::to_chars(text, text + sizeof text, value);
        }
        Simple("integer", std::string_view(text, size_t(result.ptr - text)));
    }

    // Whole seconds, rounded down, in UTC. Only years 0000 to 9999 have the
    // four-digit form the reader takes back, so any other time (or NaN) fails
    // the write rather than save a document that cannot be loaded.
    bool Date(CFAbsoluteTime at) {
        double whole = std::floor(at);
        if (!(whole >= kFirstWritableDate && whole < kEndOfWritableDates)) return false;
        int64_t seconds = int64_t(whole) + kUnixToAbsolute;
        int64_t days = seconds / kSecondsPerDay;
        int64_t rest = seconds % kSecondsPerDay;
        if (rest < 0) {
            rest += kSecondsPerDay;
            --days;
        }
        CivilDate date = CivilFromDays(days);
        char text[64];
        int length = std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02dZ",
                                   static_cast<long long>(date.year), date.month, date.day,
                                   int(rest / 3600), int(rest / 60 % 60), int(rest % 60));
        Simple("date", std::string_view(text, size_t(length)));
        return true;
    }

    // Base64 lines indented like the tags, 76 columns less 8 per level (up
    // to 8 levels), as the platform's writer lays them out.
    void Data(CFDataRef data) {
        const UInt8 *bytes = CFDataGetBytePtr(data);
        auto length = size_t(CFDataGetLength(data));
        size_t lineChars = 76 - 8 * std::min<size_t>(depth_, 8);
        size_t lineBytes = lineChars / 4 * 3;
        Line("<data>");
        for (size_t at = 0; at < length; at += lineBytes) {
            size_t take = std::min(lineBytes, length - at);
            char *p = out_.Reserve(depth_ + lineChars + 1);
            if (!p) return;
            char *start = p;
            std::memset(p, '\t', depth_);
            p += depth_;
            const UInt8 *in = bytes + at;
            size_t i = 0;
            for (; i + 3 <= take; i += 3) {
                uint32_t group = uint32_t(in[i]) << 16 | uint32_t(in[i + 1]) << 8 | in[i + 2];
                *p++ = kBase64Alphabet[group >> 18];
                *p++ = kBase64Alphabet[group >> 12 & 63];
                *p++ = kBase64Alphabet[group >> 6 & 63];
                *p++ = kBase64Alphabet[group & 63];
            }
            if (i < take) {
                uint32_t group = uint32_t(in[i]) << 16;
                if (i + 1 < take) group |= uint32_t(in[i + 1]) << 8;
                *p++ = kBase64Alphabet[group >> 18];
                *p++ = kBase64Alphabet[group >> 12 & 63];
                *p++ = i + 1 < take ? kBase64Alphabet[group >> 6 & 63] : '=';
                *p++ = '=';
            }
            *p++ = '\n';
            out_.Commit(size_t(p - start));
        }
        Line("</data>");
    }

    bool Flush(bool final) {
        if (out_.Failed()) return false;
        constexpr size_t kPiece = 256 * 1024;
        if (!stream_ || (!final && out_.Size() < kPiece)) return true;
        bool written = std::fwrite(out_.Data(), 1, out_.Size(), stream_) == out_.Size();
        out_.Clear();
        return written && (!final || std::fflush(stream_) == 0);
    }

    Buffer &out_;
    FILE *stream_;
    size_t depth_ = 0;
    std::string scratch_;
};

struct Validator {
    bool Leaf(CFTypeRef, CFTypeID) { return true; }
    bool BeginArray(CFArrayRef, CFIndex) { return true; }
    bool BeginDictionary(CFDictionaryRef, CFIndex) { return true; }
    bool Key(CFStringRef) { return true; }
    bool End(bool, CFIndex) { return true; }
};

bool IsPropertyList(CFPropertyListRef value) {
    Validator validator;
    return Walk(value, false, validator);
}

// The document in a block the caller gives back with CFAllocatorDeallocate
// on `allocator`, or nullptr.
char *CreateDocument(CFPropertyListRef propertyList, size_t &length, CFAllocatorRef &allocator) {
    try {
        Buffer buffer;
        XMLWriter writer(buffer, nullptr);
        if (!writer.Write(propertyList)) return nullptr;
        length = buffer.Size();
        return buffer.Release(allocator);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

CFDataRef CreateData(CFAllocatorRef allocator, CFPropertyListRef propertyList) {
    size_t length = 0;
    CFAllocatorRef blockAllocator = nullptr;
    char *document = CreateDocument(propertyList, length, blockAllocator);
    if (!document) return nullptr;
    CFDataRef data = CFDataCreateWithBytesNoCopy(allocator, reinterpret_cast<UInt8 *>(document),
                                                 CFIndex(length), blockAllocator);
    if (!data) CFAllocatorDeallocate(blockAllocator, document);
    return data;
}

} // namespace

bool AppendXML(CFPropertyListRef propertyList, std::string &out) {
    size_t length = 0;
    CFAllocatorRef blockAllocator = nullptr;
    char *document = CreateDocument(propertyList, length, blockAllocator);
    if (!document) return false;
    bool appended = true;
    try {
        out.append(document, length);
    } catch (const std::bad_alloc &) {
        appended = false;
    }
    CFAllocatorDeallocate(blockAllocator, document);
    return appended;
}

bool WriteXML(CFPropertyListRef propertyList, FILE *stream, bool precheck) {
    if (!stream) return false;
    try {
        if (precheck && !IsPropertyList(propertyList)) return false;
        Buffer buffer;
        XMLWriter writer(buffer, stream);
        return writer.Write(propertyList);
    } catch (const std::bad_alloc &) {
        return false;
    }
}

} // namespace vt::plist

using namespace vt;

extern "C" {

CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef allocator, CFPropertyListRef propertyList) {
    return plist::CreateData(allocator, propertyList);
}

CFDataRef CFPropertyListCreateData(CFAllocatorRef allocator, CFPropertyListRef propertyList,
                                   CFPropertyListFormat format, CFOptionFlags, CFErrorRef *error) {
    if (error) *error = nullptr;
    const char *problem = nullptr;
    CFDataRef data = nullptr;
    if (format != kCFPropertyListXMLFormat_v1_0) {
        problem = "only the XML property-list format can be written";
    } else {
        data = plist::CreateData(allocator, propertyList);
        if (!data) problem = "property list invalid for format";
    }
    if (problem && error) {
        try {
            *error = plist::CreateError(kCFPropertyListWriteStreamError, problem);
        } catch (const std::bad_alloc &) {
        }
    }
    return data;
}

Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format) {
    if (format != kCFPropertyListXMLFormat_v1_0) return false;
    try {
        return plist::IsPropertyList(plist);
    } catch (const std::bad_alloc &) {
        return false;
    }
}

} // extern "C"
