#include "XMLBuilder.h"

#include "CivilDate.h"
#include "platform/strings/StringInternal.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace vt::plist {

namespace {

constexpr std::array<bool, 256> kXMLSpace = [] {
    std::array<bool, 256> table{};
    table[' '] = table['\t'] = table['\n'] = table['\r'] = true;
    return table;
}();

bool IsSpace(char c) {
    return kXMLSpace[static_cast<unsigned char>(c)];
}

// Runs on every line break and indent between elements, so it is kept lean.
bool AllSpace(const char *text, size_t length) {
    bool space = true;
    for (size_t i = 0; i < length; ++i)
        space &= IsSpace(text[i]);
    return space;
}

void Trim(const char *&begin, const char *&end) {
    while (begin < end && IsSpace(*begin))
        ++begin;
    while (end > begin && IsSpace(end[-1]))
        --end;
}

// Element names from the input go into messages; keep them short, cut at a
// character boundary.
std::string Quote(const char *name, size_t length) {
    constexpr size_t kLimit = 40;
    bool cut = length > kLimit;
    if (cut) {
        length = kLimit;
        while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80)
            --length;
    }
    std::string quoted(1, '<');
    quoted.append(name, length);
    quoted.append(cut ? "...>" : ">");
    return quoted;
}

// Eight bytes at a time: keys are hashed once per occurrence in the document.
uint64_t HashBytes(const char *bytes, size_t length) {
    uint64_t hash = length * 0x9E3779B97F4A7C15ull;
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        hash = (hash ^ word) * 0xff51afd7ed558ccdull;
        hash ^= hash >> 32;
    }
    uint64_t tail = 0;
    std::memcpy(&tail, bytes + i, length - i);
    hash = (hash ^ tail) * 0xc4ceb9fe1a85ec53ull;
    return hash ^ (hash >> 29);
}

enum class IntegerResult { Ok, Bad, OutOfRange };

// Decimal or 0x-hexadecimal with an optional sign, INT64_MIN...UINT64_MAX.
IntegerResult ParseInteger(const char *p, const char *end, bool &negative, uint64_t &magnitude) {
    negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    unsigned base = 10;
    if (end - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    if (p == end) return IntegerResult::Bad;
    uint64_t value = 0;
    bool overflow = false;
    for (; p < end; ++p) {
        unsigned digit;
        char c = *p;
        if (c >= '0' && c <= '9')
            digit = unsigned(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = unsigned(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = unsigned(c - 'A' + 10);
        else
            return IntegerResult::Bad;
        if (value > (UINT64_MAX - digit) / base) overflow = true;
        value = value * base + digit;
    }
    if (overflow || (negative && value > uint64_t(INT64_MAX) + 1)) return IntegerResult::OutOfRange;
    magnitude = value;
    return IntegerResult::Ok;
}

// strtod's forms (decimal, hexadecimal, inf, infinity, nan) in the C locale.
bool ParseReal(const char *begin, const char *end, double &value) {
    const char *p = begin;
    bool negative = p < end && *p == '-';
    if (p < end && (*p == '+' || *p == '-')) ++p;
    if (p < end && *p != '+' && *p != '-') {
        auto [last, ec] = std::from_chars(p, end, value);
        if (ec == std::errc() && last == end) {
            if (negative) value = -value;
            return true;
        }
    }
    if (p == end) return false;
    // Hexadecimal reals and values beyond double's range.
    static locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    if (!cLocale) return false;
    std::string copy(begin, end);
    char *stop = nullptr;
    value = strtod_l(copy.c_str(), &stop, cLocale);
    return stop == copy.c_str() + copy.size();
}

// Exactly YYYY-MM-DDTHH:MM:SSZ.
bool ParseDate(const char *s, size_t length, CFAbsoluteTime &at) {
    if (length != 20) return false;
    auto digits = [s](size_t at, size_t count, unsigned &out) {
        out = 0;
        for (size_t i = at; i < at + count; ++i) {
            if (s[i] < '0' || s[i] > '9') return false;
            out = out * 10 + unsigned(s[i] - '0');
        }
        return true;
    };
    unsigned year, month, day, hour, minute, second;
    if (!digits(0, 4, year) || s[4] != '-' || !digits(5, 2, month) || s[7] != '-' ||
        !digits(8, 2, day) || s[10] != 'T' || !digits(11, 2, hour) || s[13] != ':' ||
        !digits(14, 2, minute) || s[16] != ':' || !digits(17, 2, second) || s[19] != 'Z')
        return false;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return false;
    int64_t days = DaysFromCivil({int64_t(year), month, day});
    int64_t seconds = days * kSecondsPerDay + hour * 3600 + minute * 60 + second;
    at = double(seconds - kUnixToAbsolute);
    return true;
}

constexpr int8_t kInvalid = -1, kSpace = -2, kPad = -3;
constexpr std::array<int8_t, 256> kBase64Values = [] {
    std::array<int8_t, 256> table{};
    table.fill(kInvalid);
    const char *alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(alphabet[i])] = int8_t(i);
    table[' '] = table['\t'] = table['\n'] = table['\r'] = kSpace;
    table['='] = kPad;
    return table;
}();

// Whitespace anywhere is skipped; padding, when present, must complete the
// last group and end the text.
bool DecodeBase64(const char *text, size_t length, std::vector<UInt8> &out) {
    out.clear();
    out.reserve(length / 4 * 3 + 3);
    uint32_t group = 0;
    unsigned sextets = 0, padding = 0;
    for (const char *end = text + length; text < end; ++text) {
        char c = *text;
        int8_t v = kBase64Values[static_cast<unsigned char>(c)];
        if (v >= 0) {
            if (padding) return false;
            group = group << 6 | uint32_t(v);
            if (++sextets == 4) {
                out.push_back(UInt8(group >> 16));
                out.push_back(UInt8(group >> 8));
                out.push_back(UInt8(group));
                group = 0;
                sextets = 0;
            }
        } else if (v == kPad) {
            if (++padding > 2) return false;
        } else if (v != kSpace) {
            return false;
        }
    }
    if (sextets == 1 || (padding && sextets + padding != 4)) return false;
    if (sextets == 2) out.push_back(UInt8(group >> 4));
    if (sextets == 3) {
        out.push_back(UInt8(group >> 10));
        out.push_back(UInt8(group >> 2));
    }
    return true;
}

} // namespace

SharedStrings::~SharedStrings() {
    for (const Slot &slot : slots_)
        if (slot.string) CFRelease(slot.string);
}

namespace {
constexpr size_t kMaxSharedLength = 64, kMaxShared = 4096, kFirstSlots = 256, kSeenSlots = 4096;
// A look-up gives up after this many slots: texts made to collide cost a
// bounded search each, and are merely not shared.
constexpr size_t kMaxProbes = 32;
} // namespace

CFStringRef SharedStrings::Create(CFAllocatorRef allocator, const char *bytes, size_t length,
                                  CFHashCode *hash) {
    // A key's CFHash is worked out once per distinct text, from the bytes
    // alone when they are ASCII.
    auto cfHashOf = [&](CFStringRef string) {
        return cf::str::IsASCII(reinterpret_cast<const uint8_t *>(bytes), length)
                   ? cf::StringHashASCII(bytes, length)
                   : CFHash(string);
    };
    auto make = [&] {
        CFStringRef string = cf::StringCreateWithValidUTF8(allocator, bytes, length, false);
        if (string && hash) *hash = cfHashOf(string);
        return string;
    };
    if (length > kMaxSharedLength) return make();
    uint64_t textHash = HashBytes(bytes, length);
    if (!slots_.empty()) {
        size_t mask = slots_.size() - 1, i = size_t(textHash) & mask;
        for (size_t probes = 0; slots_[i].string && probes < kMaxProbes;
             ++probes, i = (i + 1) & mask) {
            const Slot &slot = slots_[i];
            if (slot.hash == textHash && slot.length == length &&
                std::memcmp(bytes_.data() + slot.offset, bytes, length) == 0) {
                if (hash) *hash = slot.cfHash;
                return static_cast<CFStringRef>(CFRetain(slot.string));
            }
        }
    }
    CFStringRef string = make();
    if (!string || used_ >= kMaxShared || !Admit(textHash)) return string;
    try {
        if (2 * (used_ + 1) > slots_.size()) Grow();
        size_t at = FreeSlot(textHash, kMaxProbes);
        if (at == kNoSlot) return string;
        size_t offset = bytes_.size();
        bytes_.append(bytes, length);
        slots_[at] = {textHash, uint32_t(offset), uint32_t(length), string,
                      hash ? *hash : cfHashOf(string)};
    } catch (const std::bad_alloc &) {
        return string; // not shared, but made
    }
    CFRetain(string);
    ++used_;
    return string;
}

// True at a text's second sighting (or when another text of the same bucket
// and tag came before, which only admits it early).
bool SharedStrings::Admit(uint64_t hash) {
    try {
        if (seen_.empty()) seen_.assign(kSeenSlots, 0);
    } catch (const std::bad_alloc &) {
        return false;
    }
    uint32_t tag = uint32_t(hash >> 32) | 1;
    uint32_t &mark = seen_[size_t(hash >> 8) & (kSeenSlots - 1)];
    if (mark == tag) return true;
    mark = tag;
    return false;
}

// Doubles the table; throws std::bad_alloc with the table unchanged.
void SharedStrings::Grow() {
    std::vector<Slot> larger(std::max(kFirstSlots, 2 * slots_.size()), Slot{});
    larger.swap(slots_);
    for (const Slot &slot : larger) // the previous slots, after the swap
        if (slot.string) slots_[FreeSlot(slot.hash, slots_.size())] = slot;
}

// The first empty slot on the hash's path within `limit` steps, or kNoSlot.
size_t SharedStrings::FreeSlot(uint64_t hash, size_t limit) const {
    size_t mask = slots_.size() - 1, i = size_t(hash) & mask;
    for (size_t probes = 0; probes < limit; ++probes, i = (i + 1) & mask)
        if (!slots_[i].string) return i;
    return kNoSlot;
}

XMLBuilder::XMLBuilder(CFAllocatorRef allocator, CFOptionFlags options)
    : stack_(allocator, options) {}

XMLBuilder::Element XMLBuilder::Lookup(const char *name, size_t length) {
    // Runs on every tag: one comparison after the length and first letter.
    struct Entry {
        const char *name;
        Element element;
    };
    auto match = [&](const Entry &entry) {
        return std::memcmp(name, entry.name, length) == 0 ? entry.element : Element::None;
    };
    if (length < 3 || length > 7) return Element::None;
    switch (name[0]) {
        case 'k':
            return length == 3 ? match({"key", Element::Key}) : Element::None;
        case 's':
            return length == 6 ? match({"string", Element::String}) : Element::None;
        case 'd':
            if (length != 4) return Element::None;
            if (name[1] == 'i') return match({"dict", Element::Dict});
            return name[2] == 't' && name[3] == 'e'   ? match({"date", Element::Date})
                   : name[2] == 't' && name[3] == 'a' ? match({"data", Element::Data})
                                                      : Element::None;
        case 'a':
            return length == 5 ? match({"array", Element::Array}) : Element::None;
        case 'i':
            return length == 7 ? match({"integer", Element::Integer}) : Element::None;
        case 'r':
            return length == 4 ? match({"real", Element::Real}) : Element::None;
        case 't':
            return length == 4 ? match({"true", Element::True}) : Element::None;
        case 'f':
            return length == 5 ? match({"false", Element::False}) : Element::None;
        case 'p':
            return length == 5 ? match({"plist", Element::Plist}) : Element::None;
    }
    return Element::None;
}

bool XMLBuilder::Fail(std::string message) {
    message_ = std::move(message);
    return false;
}

std::nullptr_t XMLBuilder::Reject(std::string message) {
    Fail(std::move(message));
    return nullptr;
}

bool XMLBuilder::StartElement(const char *name, size_t length) {
    return StartElement(Lookup(name, length), name, length);
}

bool XMLBuilder::StartElement(Element element, const char *name, size_t length) {
    if (leaf_ != Element::None) return Fail("unexpected element " + Quote(name, length));
    if (element == Element::None) return Fail("unknown element " + Quote(name, length));
    bool topLevel = stack_.Depth() == 0;
    if (element == Element::Plist) {
        if (!topLevel || inPlist_ || stack_.HasRoot())
            return Fail("<plist> is allowed only as the document element");
        inPlist_ = true;
        return true;
    }
    if (topLevel && stack_.HasRoot()) return Fail("more than one value in <plist>");
    if (element == Element::Key) {
        if (!stack_.InDictionary()) return Fail("<key> outside a dictionary");
        if (stack_.AwaitingValue()) return Fail("key without a value");
    } else if (stack_.InDictionary() && !stack_.AwaitingValue()) {
        return Fail("value without a key");
    }
    if (element == Element::Array || element == Element::Dict) {
        if (stack_.Depth() >= kMaxDepth) return Fail("nesting deeper than 512 levels");
        if (element == Element::Array)
            stack_.BeginArray();
        else
            stack_.BeginDictionary();
        return true;
    }
    leaf_ = element;
    text_.clear();
    return true;
}

bool XMLBuilder::Characters(const char *text, size_t length) {
    if (leaf_ == Element::None || leaf_ == Element::True || leaf_ == Element::False) {
        if (!AllSpace(text, length)) return Fail("unexpected text");
        return true;
    }
    text_.append(text, length);
    return true;
}

bool XMLBuilder::EndElement() {
    if (leaf_ != Element::None) return FinishLeaf(text_.data(), text_.size());
    if (stack_.Depth() == 0) return true; // </plist>
    if (stack_.AwaitingValue()) return Fail("key without a value");
    if (!stack_.End()) return Fail("out of memory");
    return true;
}

CFPropertyListRef XMLBuilder::Finish() {
    if (!stack_.HasRoot()) {
        Fail("no value in the document");
        return nullptr;
    }
    return stack_.TakeRoot();
}

bool XMLBuilder::EndLeaf(const char *tail, size_t length) {
    // <true/> and <false/> hold no text, so the tail is checked, not kept.
    if (leaf_ == Element::True || leaf_ == Element::False) {
        if (!Characters(tail, length)) return false;
        return FinishLeaf(nullptr, 0);
    }
    if (text_.empty()) return FinishLeaf(tail, length);
    text_.append(tail, length);
    return FinishLeaf(text_.data(), text_.size());
}

bool XMLBuilder::FinishLeaf(const char *text, size_t length) {
    Element element = leaf_;
    leaf_ = Element::None;
    CFAllocatorRef allocator = stack_.Allocator();
    CFTypeRef value = nullptr;
    switch (element) {
        case Element::Key: {
            CFHashCode hash = 0;
            CFStringRef key = strings_.Create(allocator, text, length, &hash);
            if (!key) return Fail("out of memory");
            return stack_.AddKey(key, hash) || Fail("out of memory");
        }
        case Element::String:
            value = stack_.MutableLeaves()
                        ? cf::StringCreateWithValidUTF8(allocator, text, length, true)
                        : strings_.Create(allocator, text, length, nullptr);
            break;
        case Element::True:
            value = CFRetain(kCFBooleanTrue);
            break;
        case Element::False:
            value = CFRetain(kCFBooleanFalse);
            break;
        case Element::Integer:
            value = MakeInteger(text, length);
            break;
        case Element::Real:
            value = MakeReal(text, length);
            break;
        case Element::Date:
            value = MakeDate(text, length);
            break;
        case Element::Data:
            value = MakeData(text, length);
            break;
        default:
            break;
    }
    if (!value) return message_.empty() ? Fail("out of memory") : false;
    return stack_.Add(value) || Fail("out of memory");
}

CFTypeRef XMLBuilder::MakeInteger(const char *text, size_t length) {
    const char *begin = text, *end = text + length;
    Trim(begin, end);
    if (begin == end) return Reject("empty <integer>");
    bool negative;
    uint64_t magnitude;
    switch (ParseInteger(begin, end, negative, magnitude)) {
        case IntegerResult::Bad:
            return Reject("bad <integer> text");
        case IntegerResult::OutOfRange:
            return Reject("<integer> out of range");
        case IntegerResult::Ok:
            break;
    }
    if (negative || magnitude <= uint64_t(INT64_MAX)) {
        auto value = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
        return CFNumberCreate(stack_.Allocator(), kCFNumberSInt64Type, &value);
    }
    struct {
        SInt64 high;
        UInt64 low;
    } wide = {0, magnitude};
    return CFNumberCreate(stack_.Allocator(), kCFNumberSInt128Type, &wide);
}

CFTypeRef XMLBuilder::MakeReal(const char *text, size_t length) {
    const char *begin = text, *end = text + length;
    Trim(begin, end);
    if (begin == end) return Reject("empty <real>");
    double value;
    if (!ParseReal(begin, end, value)) return Reject("bad <real> text");
    return CFNumberCreate(stack_.Allocator(), kCFNumberFloat64Type, &value);
}

CFTypeRef XMLBuilder::MakeDate(const char *text, size_t length) {
    if (length == 0) return Reject("empty <date>");
    CFAbsoluteTime at;
    if (!ParseDate(text, length, at)) return Reject("bad <date>: expected YYYY-MM-DDTHH:MM:SSZ");
    return CFDateCreate(stack_.Allocator(), at);
}

// "<data/>" and "<data></data>" are empty data, as is "<data> </data>".
CFTypeRef XMLBuilder::MakeData(const char *text, size_t length) {
    if (!DecodeBase64(text, length, bytes_)) return Reject("bad base64 in <data>");
    auto size = CFIndex(bytes_.size());
    if (!stack_.MutableLeaves()) return CFDataCreate(stack_.Allocator(), bytes_.data(), size);
    CFMutableDataRef data = CFDataCreateMutable(stack_.Allocator(), 0);
    if (data) CFDataAppendBytes(data, bytes_.data(), size);
    return data;
}

} // namespace vt::plist
