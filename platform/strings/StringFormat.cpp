// printf-style formats for strings: the C conversions plus %@ (any value's
// description), %S and %C (UTF-16), with positional arguments.
//
// A format is read twice: first to learn the type of every argument, then,
// after the arguments have been read from the va_list in order, to write the
// text. A conversion that cannot be understood fails the whole format before
// any argument is read, so a bad format never reads arguments that were not
// passed.
#include "platform/strings/StringInternal.h"
#include "platform/values/Holder.h"

#include <algorithm>
#include <cinttypes>
#include <clocale>
#include <cstdio>
#include <cwchar>
#include <locale.h>
#include <optional>

using namespace vt::cf;
using namespace vt::cf::str;

namespace {

// Widths and precisions beyond this are refused rather than allocated.
constexpr size_t kMaxWidth = size_t(1) << 24;
// The highest argument position accepted (%N$).
constexpr size_t kMaxPosition = 4096;

enum class Kind : uint8_t {
    kNone,
    kInt,
    kLong,
    kLongLong,
    kIntMax,
    kSize,
    kPtrDiff,
    kDouble,
    kLongDouble,
    kPointer
};

union Argument {
    int i;
    long l;
    long long ll;
    intmax_t j;
    size_t z;
    ptrdiff_t t;
    double d;
    long double ld;
    const void *p;
};

enum class Length : uint8_t { kNone, kHH, kH, kL, kLL, kJ, kZ, kT, kBigL };

enum Flag : uint8_t {
    kMinus = 1,
    kPlus = 2,
    kSpace = 4,
    kHash = 8,
    kZero = 16,
    kGrouping = 32,
};

constexpr struct {
    char ch;
    uint8_t bit;
} kFlagChars[] = {{'-', kMinus}, {'+', kPlus}, {' ', kSpace},
                  {'#', kHash},  {'0', kZero}, {'\'', kGrouping}};

uint8_t FlagBit(UniChar c) {
    for (const auto &flag : kFlagChars)
        if (c == UniChar(flag.ch)) return flag.bit;
    return 0;
}

struct Conversion {
    size_t literalStart = 0; // the text before the conversion
    size_t literalEnd = 0;
    uint8_t flags = 0;
    size_t width = 0;
    size_t widthArg = 0; // 1-based argument positions; 0 when absent
    long precision = -1;
    size_t precisionArg = 0;
    Length length = Length::kNone;
    char type = 0;
    size_t arg = 0;
};

// The argument kind a conversion reads, or kNone when the combination of
// length modifier and conversion is not accepted.
Kind KindOf(char type, Length length) {
    switch (type) {
        case 'd':
        case 'i':
        case 'o':
        case 'u':
        case 'x':
        case 'X':
            switch (length) {
                case Length::kNone:
                case Length::kHH:
                case Length::kH:
                    return Kind::kInt;
                case Length::kL:
                    return Kind::kLong;
                case Length::kLL:
                    return Kind::kLongLong;
                case Length::kJ:
                    return Kind::kIntMax;
                case Length::kZ:
                    return Kind::kSize;
                case Length::kT:
                    return Kind::kPtrDiff;
                case Length::kBigL:
                    return Kind::kNone;
            }
            return Kind::kNone;
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            if (length == Length::kNone || length == Length::kL) return Kind::kDouble;
            return length == Length::kBigL ? Kind::kLongDouble : Kind::kNone;
        case 'c':
            return length == Length::kNone || length == Length::kL ? Kind::kInt : Kind::kNone;
        case 'C':
            return length == Length::kNone ? Kind::kInt : Kind::kNone;
        case 's':
            return length == Length::kNone || length == Length::kL ? Kind::kPointer : Kind::kNone;
        case 'S':
        case '@':
        case 'p':
            return length == Length::kNone ? Kind::kPointer : Kind::kNone;
        default:
            return Kind::kNone;
    }
}

const char *LengthText(Length length) {
    switch (length) {
        case Length::kHH:
            return "hh";
        case Length::kH:
            return "h";
        case Length::kL:
            return "l";
        case Length::kLL:
            return "ll";
        case Length::kJ:
            return "j";
        case Length::kZ:
            return "z";
        case Length::kT:
            return "t";
        case Length::kBigL:
            return "L";
        case Length::kNone:
            break;
    }
    return "";
}

class Parser {
  public:
    explicit Parser(const View &format) : format_(format) {}

    // Reads the whole format; false when any conversion is malformed, refused
    // (%n), or the arguments' positions and types do not fit together.
    bool Parse(std::vector<Conversion> &conversions, std::vector<Kind> &kinds) {
        size_t n = format_.length;
        size_t literalStart = 0;
        size_t nextArg = 1;
        for (size_t i = 0; i < n;) {
            if (format_[i] != '%') {
                ++i;
                continue;
            }
            Conversion c;
            c.literalStart = literalStart;
            c.literalEnd = i++;
            size_t number = 0;
            size_t mark = i;
            bool positional = false;
            if (Number(i, number) && At(i) == '$') {
                if (number == 0 || number > kMaxPosition) return false;
                c.arg = number;
                positional = true;
                ++i;
            } else {
                i = mark;
            }
            while (uint8_t bit = FlagBit(At(i))) {
                c.flags |= bit;
                ++i;
            }
            bool starWidth = false, starPrecision = false;
            if (At(i) == '*') {
                ++i;
                starWidth = true;
                if (!Star(i, positional, c.widthArg)) return false;
            } else if (!Number(i, c.width) && overflow_) {
                return false;
            }
            if (At(i) == '.') {
                ++i;
                size_t precision = 0;
                if (At(i) == '*') {
                    ++i;
                    starPrecision = true;
                    if (!Star(i, positional, c.precisionArg)) return false;
                } else if (!Number(i, precision) && overflow_) {
                    return false;
                }
                c.precision = long(precision);
            }
            c.length = ReadLength(i);
            if (i >= n || format_[i] >= 0x80) return false;
            c.type = char(format_[i++]);
            literalStart = i;
            if (c.type == '%') {
                if (positional || starWidth || starPrecision) return false;
                conversions.push_back(c);
                continue;
            }
            Kind kind = KindOf(c.type, c.length);
            if (kind == Kind::kNone) return false;
            // Positional and sequential arguments do not mix.
            if (mode_ == Mode::kUnknown) mode_ = positional ? Mode::kPositional : Mode::kSequential;
            if ((mode_ == Mode::kPositional) != positional) return false;
            if (!positional) {
                if (starWidth) c.widthArg = nextArg++;
                if (starPrecision) c.precisionArg = nextArg++;
                c.arg = nextArg++;
            }
            if (!Use(kinds, c.widthArg, Kind::kInt) || !Use(kinds, c.precisionArg, Kind::kInt) ||
                !Use(kinds, c.arg, kind))
                return false;
            conversions.push_back(c);
        }
        Conversion tail;
        tail.literalStart = literalStart;
        tail.literalEnd = n;
        conversions.push_back(tail);
        // An argument that no conversion reads leaves the later ones unreachable.
        for (size_t k = 1; k < kinds.size(); ++k)
            if (kinds[k] == Kind::kNone) return false;
        return true;
    }

  private:
    enum class Mode { kUnknown, kSequential, kPositional };

    UniChar At(size_t i) const { return i < format_.length ? format_[i] : 0; }

    // Reads decimal digits; false when there are none or too many.
    bool Number(size_t &i, size_t &value) {
        overflow_ = false;
        if (At(i) < '0' || At(i) > '9') return false;
        value = 0;
        while (At(i) >= '0' && At(i) <= '9') {
            value = value * 10 + (At(i++) - '0');
            if (value > kMaxWidth) {
                overflow_ = true;
                return false;
            }
        }
        return true;
    }

    // After '*': "N$" in a positional conversion, nothing in a sequential one.
    bool Star(size_t &i, bool positional, size_t &arg) {
        if (!positional) return !(At(i) >= '0' && At(i) <= '9');
        size_t number = 0;
        if (!Number(i, number) || At(i) != '$' || number == 0 || number > kMaxPosition)
            return false;
        ++i;
        arg = number;
        return true;
    }

    Length ReadLength(size_t &i) {
        switch (At(i)) {
            case 'h':
                ++i;
                if (At(i) == 'h') {
                    ++i;
                    return Length::kHH;
                }
                return Length::kH;
            case 'l':
                ++i;
                if (At(i) == 'l') {
                    ++i;
                    return Length::kLL;
                }
                return Length::kL;
            case 'q':
                ++i;
                return Length::kLL;
            case 'j':
                ++i;
                return Length::kJ;
            case 'z':
                ++i;
                return Length::kZ;
            case 't':
                ++i;
                return Length::kT;
            case 'L':
                ++i;
                return Length::kBigL;
            default:
                return Length::kNone;
        }
    }

    static bool Use(std::vector<Kind> &kinds, size_t arg, Kind kind) {
        if (!arg) return true;
        if (kinds.size() <= arg) kinds.resize(arg + 1, Kind::kNone);
        if (kinds[arg] != Kind::kNone && kinds[arg] != kind) return false;
        kinds[arg] = kind;
        return true;
    }

    const View &format_;
    Mode mode_ = Mode::kUnknown;
    bool overflow_ = false;
};

void ReadArguments(const std::vector<Kind> &kinds, std::vector<Argument> &values, va_list *ap) {
    // Slot 0 stands for "no argument".
    values.resize(std::max<size_t>(kinds.size(), 1));
    for (size_t k = 1; k < kinds.size(); ++k) {
        Argument &value = values[k];
        switch (kinds[k]) {
            case Kind::kInt:
                value.i = va_arg(*ap, int);
                break;
            case Kind::kLong:
                value.l = va_arg(*ap, long);
                break;
            case Kind::kLongLong:
                value.ll = va_arg(*ap, long long);
                break;
            case Kind::kIntMax:
                value.j = va_arg(*ap, intmax_t);
                break;
            case Kind::kSize:
                value.z = va_arg(*ap, size_t);
                break;
            case Kind::kPtrDiff:
                value.t = va_arg(*ap, ptrdiff_t);
                break;
            case Kind::kDouble:
                value.d = va_arg(*ap, double);
                break;
            case Kind::kLongDouble:
                value.ld = va_arg(*ap, long double);
                break;
            case Kind::kPointer:
                value.p = va_arg(*ap, const void *);
                break;
            case Kind::kNone:
                break;
        }
    }
}

// Numbers print with '.' as the decimal point whatever the process's locale.
class CLocaleScope {
  public:
    CLocaleScope() {
        static locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
        if (cLocale) previous_ = uselocale(cLocale);
    }
    ~CLocaleScope() {
        if (previous_) uselocale(previous_);
    }
    CLocaleScope(const CLocaleScope &) = delete;
    CLocaleScope &operator=(const CLocaleScope &) = delete;

  private:
    locale_t previous_ = locale_t(0);
};

class Writer {
  public:
    Writer(Builder &out, const std::vector<Argument> &values) : out_(out), values_(values) {}

    bool Write(const Conversion &c) {
        uint8_t flags = c.flags;
        size_t width = c.width;
        long precision = c.precision;
        if (c.widthArg) {
            long long w = values_[c.widthArg].i;
            if (w < 0) {
                flags |= kMinus;
                w = -w;
            }
            width = size_t(w);
        }
        if (c.precisionArg)
            precision = values_[c.precisionArg].i < 0 ? -1 : values_[c.precisionArg].i;
        if (width > kMaxWidth || precision > long(kMaxWidth)) return false;

        const Argument &value = values_[c.arg];
        switch (c.type) {
            case '%':
                out_.AppendUnit('%');
                return true;
            case 'p': {
                char text[32];
                int size = std::snprintf(text, sizeof text, "0x%" PRIxPTR,
                                         reinterpret_cast<uintptr_t>(value.p));
                Builder piece;
                piece.AppendASCII(text, size_t(size));
                Pad(piece.GetView(), flags, width);
                return true;
            }
            case '@':
                return WriteObject(value.p, flags, width, precision);
            case 's':
                if (c.length == Length::kL) return WriteWide(value.p, flags, width, precision);
                return WriteBytes(static_cast<const char *>(value.p), flags, width, precision);
            case 'S':
                return WriteUniChars(static_cast<const UniChar *>(value.p), flags, width,
                                     precision);
            case 'C': {
                UniChar unit = UniChar(value.i);
                Pad(View{&unit, 1, true}, flags, width);
                return true;
            }
            case 'c':
                if (c.length == Length::kL) {
                    Builder piece;
                    AppendWideChar(piece, uint32_t(value.i));
                    Pad(piece.GetView(), flags, width);
                    return true;
                }
                return Print(c, flags, width, precision, value.i);
            default:
                return PrintValue(c, flags, width, precision, value);
        }
    }

  private:
    bool PrintValue(const Conversion &c, uint8_t flags, size_t width, long precision,
                    const Argument &value) {
        switch (KindOf(c.type, c.length)) {
            case Kind::kInt:
                return Print(c, flags, width, precision, value.i);
            case Kind::kLong:
                return Print(c, flags, width, precision, value.l);
            case Kind::kLongLong:
                return Print(c, flags, width, precision, value.ll);
            case Kind::kIntMax:
                return Print(c, flags, width, precision, value.j);
            case Kind::kSize:
                return Print(c, flags, width, precision, value.z);
            case Kind::kPtrDiff:
                return Print(c, flags, width, precision, value.t);
            case Kind::kDouble:
                return Print(c, flags, width, precision, value.d);
            case Kind::kLongDouble:
                return Print(c, flags, width, precision, value.ld);
            default:
                return false;
        }
    }

    // Formats one number (or %c) with the C library, from a conversion
    // rebuilt out of parts already checked.
    template <class T>
    bool Print(const Conversion &c, uint8_t flags, size_t width, long precision, T value) {
        char cFormat[24];
        char *p = cFormat;
        *p++ = '%';
        for (const auto &flag : kFlagChars)
            if (flags & flag.bit) *p++ = flag.ch;
        *p++ = '*';
        if (precision >= 0) {
            *p++ = '.';
            *p++ = '*';
        }
        for (const char *l = LengthText(c.length); *l;)
            *p++ = *l++;
        *p++ = c.type;
        *p = 0;

        char small[128];
        auto print = [&](char *buffer, size_t size) {
            return precision >= 0
                       ? std::snprintf(buffer, size, cFormat, int(width), int(precision), value)
                       : std::snprintf(buffer, size, cFormat, int(width), value);
        };
        int size = print(small, sizeof small);
        if (size < 0) return false;
        if (size_t(size) < sizeof small) {
            out_.AppendLatin1(reinterpret_cast<const uint8_t *>(small), size_t(size));
            return true;
        }
        std::string large(size_t(size) + 1, '\0');
        if (print(large.data(), large.size()) != size) return false;
        out_.AppendLatin1(reinterpret_cast<const uint8_t *>(large.data()), size_t(size));
        return true;
    }

    // Appends text, cut to precision units, padded with spaces to width.
    void Pad(View text, uint8_t flags, size_t width, long precision = -1) {
        if (precision >= 0 && text.length > size_t(precision)) text.length = size_t(precision);
        size_t padding = width > text.length ? width - text.length : 0;
        if (!(flags & kMinus)) out_.AppendRepeated(' ', padding);
        out_.Append(text);
        if (flags & kMinus) out_.AppendRepeated(' ', padding);
    }

    void PadNull(uint8_t flags, size_t width, long precision) {
        Pad(View{"(null)", 6, false}, flags, width, precision);
    }

    bool WriteObject(const void *object, uint8_t flags, size_t width, long precision) {
        vt::CFRef<CFStringRef> description(object ? CFCopyDescription(object) : nullptr);
        View text;
        if (!GetView(description.get(), text)) {
            PadNull(flags, width, precision);
            return true;
        }
        Pad(text, flags, width, precision);
        return true;
    }

    // A C string in UTF-8 (ISO Latin 1 when it is not valid UTF-8); the
    // precision counts bytes, as in C.
    bool WriteBytes(const char *bytes, uint8_t flags, size_t width, long precision) {
        if (!bytes) {
            PadNull(flags, width, precision);
            return true;
        }
        size_t length = precision >= 0 ? strnlen(bytes, size_t(precision)) : std::strlen(bytes);
        auto *text = reinterpret_cast<const uint8_t *>(bytes);
        // Cutting inside a UTF-8 sequence would leave half a character. The
        // argument may hold exactly `precision` bytes and no NUL, so the byte
        // after the cut is never read: the last sequence is judged by its
        // lead byte alone, and dropped when the rest is UTF-8.
        if (precision >= 0 && length == size_t(precision)) {
            size_t whole = WithoutIncompleteSequence(text, length);
            Builder piece;
            if (whole < length && Decode(text, whole, kCFStringEncodingUTF8, piece)) {
                Pad(piece.GetView(), flags, width);
                return true;
            }
        }
        Builder piece;
        DecodeUTF8OrLatin1(text, length, piece);
        Pad(piece.GetView(), flags, width);
        return true;
    }

    // The length without a trailing UTF-8 sequence that lacks continuation
    // bytes; a tail that is not the start of a UTF-8 sequence stays.
    static size_t WithoutIncompleteSequence(const uint8_t *text, size_t length) {
        size_t continuations = 0;
        while (continuations < 3 && continuations < length &&
               (text[length - 1 - continuations] & 0xC0) == 0x80)
            ++continuations;
        if (continuations == length) return length;
        uint8_t lead = text[length - 1 - continuations];
        size_t needed = lead >= 0xC2 && lead <= 0xDF   ? 1
                        : lead >= 0xE0 && lead <= 0xEF ? 2
                        : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                       : 0;
        return continuations < needed ? length - 1 - continuations : length;
    }

    bool WriteUniChars(const UniChar *units, uint8_t flags, size_t width, long precision) {
        if (!units) {
            PadNull(flags, width, precision);
            return true;
        }
        size_t length = 0;
        while ((precision < 0 || length < size_t(precision)) && units[length])
            ++length;
        Pad(View{units, length, true}, flags, width);
        return true;
    }

    static void AppendWideChar(Builder &piece, uint32_t c) {
        bool valid = c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
        piece.AppendCodePoint(valid ? c : 0xFFFD);
    }

    bool WriteWide(const void *pointer, uint8_t flags, size_t width, long precision) {
        auto *chars = static_cast<const wchar_t *>(pointer);
        if (!chars) {
            PadNull(flags, width, precision);
            return true;
        }
        Builder piece;
        for (size_t i = 0; (precision < 0 || i < size_t(precision)) && chars[i]; ++i)
            AppendWideChar(piece, uint32_t(chars[i]));
        Pad(piece.GetView(), flags, width);
        return true;
    }

    Builder &out_;
    const std::vector<Argument> &values_;
};

bool IsFloating(char type) {
    return std::strchr("eEfFgGaA", type) != nullptr;
}

bool Format(Builder &out, const View &format, va_list *ap) {
    std::vector<Conversion> conversions;
    std::vector<Kind> kinds;
    if (!Parser(format).Parse(conversions, kinds)) return false;
    std::vector<Argument> values;
    ReadArguments(kinds, values, ap);
    bool floating = false;
    for (const Conversion &c : conversions)
        floating |= c.type && IsFloating(c.type);
    std::optional<CLocaleScope> locale;
    if (floating) locale.emplace();
    Writer writer(out, values);
    for (const Conversion &c : conversions) {
        out.Append(format.Sub(c.literalStart, c.literalEnd - c.literalStart));
        if (c.type && !writer.Write(c)) return false;
    }
    return true;
}

// Runs Format on a copy of the caller's va_list.
bool FormatArguments(Builder &out, CFStringRef format, va_list arguments) {
    View view;
    if (!GetView(format, view)) return false;
    va_list ap;
    va_copy(ap, arguments);
    bool ok = false;
    try {
        ok = Format(out, view, &ap);
    } catch (const std::exception &) {
        ok = false;
    }
    va_end(ap);
    return ok;
}

} // namespace

extern "C" {

CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef alloc,
                                                 CFDictionaryRef formatOptions, CFStringRef format,
                                                 va_list arguments) {
    (void)formatOptions;
    try {
        Builder out;
        if (!FormatArguments(out, format, arguments)) return nullptr;
        return CreateWithView(alloc, out.GetView(), false);
    } catch (const std::exception &) {
        return nullptr;
    }
}

CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions,
                                     CFStringRef format, ...) {
    va_list arguments;
    va_start(arguments, format);
    CFStringRef result =
        CFStringCreateWithFormatAndArguments(alloc, formatOptions, format, arguments);
    va_end(arguments);
    return result;
}

void CFStringAppendFormatAndArguments(CFMutableStringRef theString, CFDictionaryRef formatOptions,
                                      CFStringRef format, va_list arguments) {
    (void)formatOptions;
    MutableString *string = AsMutable(theString);
    if (!string) return;
    try {
        Builder out;
        if (FormatArguments(out, format, arguments))
            Splice(string, string->length, 0, out.GetView());
    } catch (const std::exception &) {
    }
}

void CFStringAppendFormat(CFMutableStringRef theString, CFDictionaryRef formatOptions,
                          CFStringRef format, ...) {
    va_list arguments;
    va_start(arguments, format);
    CFStringAppendFormatAndArguments(theString, formatOptions, format, arguments);
    va_end(arguments);
}

} // extern "C"
