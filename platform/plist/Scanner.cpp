#include "Scanner.h"
#include "XMLBuilder.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vt::plist {

namespace {

using Element = XMLBuilder::Element;
using Byte = unsigned char;

// Byte classes. Plain bytes continue a run of character data as they are.
enum : uint8_t {
    kPlain = 0,
    kLess,      // <
    kAmp,       // &
    kBracket,   // ] (might start "]]>")
    kCR,        // \r, normalized to \n
    kHigh,      // first byte of a multi-byte character
    kForbidden, // control characters XML does not allow
};

constexpr std::array<uint8_t, 256> kTextClass = [] {
    std::array<uint8_t, 256> table{};
    for (int c = 0; c < 0x20; ++c)
        table[c] = kForbidden;
    table['\t'] = table['\n'] = kPlain;
    table['\r'] = kCR;
    table['<'] = kLess;
    table['&'] = kAmp;
    table[']'] = kBracket;
    for (int c = 0x80; c < 0x100; ++c)
        table[c] = kHigh;
    return table;
}();

constexpr std::array<bool, 256> kSpaceTable = [] {
    std::array<bool, 256> table{};
    table[' '] = table['\t'] = table['\n'] = table['\r'] = true;
    return table;
}();

// Names are read for ASCII only; a name with other characters makes the
// scanner defer, as telling XML's name characters apart needs tables.
constexpr std::array<uint8_t, 256> kNameTable = [] {
    std::array<uint8_t, 256> table{}; // 1: name start and name, 2: name only
    for (int c = 'a'; c <= 'z'; ++c)
        table[c] = 1;
    for (int c = 'A'; c <= 'Z'; ++c)
        table[c] = 1;
    table['_'] = table[':'] = 1;
    for (int c = '0'; c <= '9'; ++c)
        table[c] = 2;
    table['-'] = table['.'] = 2;
    return table;
}();

// The first byte at or after p that is not plain character data. Sixteen
// bytes at a time where SSE2 is there: a byte is special when it is markup
// ('<', '&', ']'), a carriage return, a control character other than tab and
// line feed, or part of a multi-byte character.
const Byte *SkipPlain(const Byte *p, const Byte *end) {
#if defined(__SSE2__)
    const __m128i lt = _mm_set1_epi8('<'), amp = _mm_set1_epi8('&'), rsqb = _mm_set1_epi8(']'),
                  cr = _mm_set1_epi8('\r'), tab = _mm_set1_epi8('\t'), lf = _mm_set1_epi8('\n'),
                  space = _mm_set1_epi8(' ');
    while (end - p >= 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        // Signed: bytes from 0x80 count as below the space, as do controls.
        __m128i low = _mm_andnot_si128(_mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, lf)),
                                       _mm_cmplt_epi8(v, space));
        __m128i special = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, lt), _mm_cmpeq_epi8(v, amp)),
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, rsqb), _mm_cmpeq_epi8(v, cr)), low));
        if (int mask = _mm_movemask_epi8(special)) return p + __builtin_ctz(unsigned(mask));
        p += 16;
    }
#endif
    while (p < end && kTextClass[*p] == kPlain)
        ++p;
    return p;
}

bool IsSpace(Byte c) {
    return kSpaceTable[c];
}
bool IsNameStart(Byte c) {
    return kNameTable[c] == 1;
}
bool IsName(Byte c) {
    return kNameTable[c] != 0;
}

// Space between elements is mostly a line break and a few tabs: one step
// of sixteen bytes finds its end without a loop over each byte.
const Byte *SkipSpaces(const Byte *p, const Byte *end) {
#if defined(__SSE2__)
    while (end - p >= 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        __m128i space = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')),
                                                  _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))),
                                     _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')),
                                                  _mm_cmpeq_epi8(v, _mm_set1_epi8('\r'))));
        unsigned other = ~unsigned(_mm_movemask_epi8(space)) & 0xFFFF;
        if (other) return p + __builtin_ctz(other);
        p += 16;
    }
#endif
    while (p < end && IsSpace(*p))
        ++p;
    return p;
}

// Element names by Element, for matching end tags directly.
constexpr std::string_view kElementNames[] = {"",     "plist", "array", "dict",
                                              "key",  "string", "integer", "real",
                                              "date", "data",  "true",  "false"};

// The length of the well-formed UTF-8 character at p, or 0. Besides
// overlong forms, surrogates and code points past U+10FFFF, XML refuses
// U+FFFE and U+FFFF.
size_t CharacterLength(const Byte *p, const Byte *end) {
    Byte c = p[0];
    auto continuation = [&](size_t i) { return p + i < end && (p[i] & 0xC0) == 0x80; };
    if (c < 0xC2) return 0;
    if (c < 0xE0) return continuation(1) ? 2 : 0;
    if (c < 0xF0) {
        if (!continuation(1) || !continuation(2)) return 0;
        if (c == 0xE0 && p[1] < 0xA0) return 0;
        if (c == 0xED && p[1] > 0x9F) return 0;
        if (c == 0xEF && p[1] == 0xBF && p[2] > 0xBD) return 0;
        return 3;
    }
    if (c > 0xF4 || !continuation(1) || !continuation(2) || !continuation(3)) return 0;
    if (c == 0xF0 && p[1] < 0x90) return 0;
    if (c == 0xF4 && p[1] > 0x8F) return 0;
    return 4;
}

size_t EncodeUTF8(uint32_t c, char *out) {
    if (c < 0x80) {
        out[0] = char(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = char(0xC0 | c >> 6);
        out[1] = char(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = char(0xE0 | c >> 12);
        out[1] = char(0x80 | (c >> 6 & 0x3F));
        out[2] = char(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | c >> 18);
    out[1] = char(0x80 | (c >> 12 & 0x3F));
    out[2] = char(0x80 | (c >> 6 & 0x3F));
    out[3] = char(0x80 | (c & 0x3F));
    return 4;
}

// A character reference must name a character XML allows.
bool IsReferableCharacter(uint32_t c) {
    if (c < 0x20) return c == '\t' || c == '\n' || c == '\r';
    if (c >= 0xD800 && c <= 0xDFFF) return false;
    if (c == 0xFFFE || c == 0xFFFF) return false;
    return c <= 0x10FFFF;
}

bool EqualsIgnoringCase(const Byte *p, size_t length, const char *word) {
    if (std::strlen(word) != length) return false;
    for (size_t i = 0; i < length; ++i) {
        Byte c = p[i];
        if (c >= 'A' && c <= 'Z') c = Byte(c - 'A' + 'a');
        if (c != Byte(word[i])) return false;
    }
    return true;
}

class Scanner {
  public:
    Scanner(CFAllocatorRef allocator, const void *bytes, size_t length, CFOptionFlags options,
            ScanProgress progress, void *context)
        : begin_(static_cast<const Byte *>(bytes)), p_(begin_), end_(begin_ + length),
          builder_(allocator, options), progress_(progress), context_(context) {
        open_.reserve(64);
    }

    ScanStatus Run(CFPropertyListRef *value, ParseError *fault) {
        if (Document()) {
            CFPropertyListRef root = builder_.Finish();
            if (root) {
                *value = root;
                return ScanStatus::Value;
            }
            Fail(builder_.Message());
        }
        if (status_ == ScanStatus::Fault && fault) {
            fault->message = message_;
            Locate(fault);
        }
        return status_;
    }

  private:
    // Stops the scan; the first reason wins.
    bool Fail(const char *message) { return Fail(std::string(message)); }
    bool Fail(std::string message) {
        if (status_ == ScanStatus::Value) {
            status_ = ScanStatus::Fault;
            at_ = p_;
            message_ = std::move(message);
        }
        return false;
    }
    bool Defer() {
        if (status_ == ScanStatus::Value) status_ = ScanStatus::Defer;
        return false;
    }

    // Line and column of the fault as expat counts them: CR LF, CR and LF
    // end a line; a column is one character, whatever its bytes.
    void Locate(ParseError *fault) const {
        CFIndex line = 1, column = 1;
        for (const Byte *p = begin_; p < at_ && p < end_; ++p) {
            if (*p == '\n' || (*p == '\r' && !(p + 1 < at_ && p[1] == '\n'))) {
                ++line;
                column = 1;
            } else if (*p != '\r' && (*p & 0xC0) != 0x80) {
                ++column;
            }
        }
        fault->line = line;
        fault->column = column;
    }

    bool Starts(const char *text) const {
        size_t n = std::strlen(text);
        return size_t(end_ - p_) >= n && std::memcmp(p_, text, n) == 0;
    }
    bool SkipSpace() {
        const Byte *start = p_;
        p_ = SkipSpaces(p_, end_);
        return p_ != start;
    }
    // An ASCII name at p_: false (and a verdict) when there is none.
    bool Name(const Byte *&start, size_t &length) {
        if (p_ == end_) return Fail("unclosed token");
        if (*p_ >= 0x80) return Defer();
        if (!IsNameStart(*p_)) return Fail("not well-formed (invalid token)");
        const Byte *p = p_ + 1;
        while (p < end_ && IsName(*p))
            ++p;
        start = p_;
        p_ = p;
        if (p < end_ && *p >= 0x80) return Defer();
        length = size_t(p - start);
        return true;
    }
    // Steps over one character that is not markup, checking it is one XML
    // allows.
    bool Character() {
        Byte c = *p_;
        if (c < 0x80) {
            if (kTextClass[c] == kForbidden) return Fail("not well-formed (invalid token)");
            ++p_;
            return true;
        }
        size_t n = ascii_ ? 0 : CharacterLength(p_, end_);
        if (!n) return Fail("not well-formed (invalid token)");
        p_ += n;
        return true;
    }

    // [BOM] [XMLDecl] Misc* [doctype Misc*] element Misc*
    bool Document() {
        // UTF-16 and UTF-32 are expat's to read.
        if (Starts("\xFE\xFF") || Starts("\xFF\xFE")) return Defer();
        for (const Byte *p = p_; p < end_ && p < p_ + 4; ++p)
            if (*p == 0) return Defer();
        if (Starts("\xEF\xBB\xBF")) p_ += 3;
        if (Starts("<?xml") && p_ + 5 < end_ && (IsSpace(p_[5]) || p_[5] == '?')) {
            if (!Declaration()) return false;
        }
        bool doctype = false, root = false;
        while (true) {
            SkipSpace();
            if (p_ == end_) return root || Fail("no element found");
            if (*p_ != '<') return Fail(root ? "junk after document element" : "syntax error");
            if (Starts("<!--")) {
                if (!Comment()) return false;
            } else if (Starts("<?")) {
                if (!Instruction()) return false;
            } else if (Starts("<!DOCTYPE")) {
                if (doctype || root) return Fail("syntax error");
                doctype = true;
                if (!Doctype()) return false;
            } else if (root) {
                return Fail("junk after document element");
            } else {
                root = true;
                if (!Root()) return false;
            }
        }
    }

    // <?xml version="..." [encoding="..."] [standalone="yes|no"] ?>
    bool Declaration() {
        p_ += 5;
        const char *names[] = {"version", "encoding", "standalone"};
        size_t next = 0;
        bool sawVersion = false;
        while (true) {
            bool space = SkipSpace();
            if (Starts("?>")) {
                p_ += 2;
                return sawVersion || Fail("XML declaration not well-formed");
            }
            if (!space) return Fail("XML declaration not well-formed");
            const Byte *name;
            size_t length;
            if (!Name(name, length)) return false;
            size_t which = next;
            while (which < 3 && !(std::strlen(names[which]) == length &&
                                  std::memcmp(names[which], name, length) == 0))
                ++which;
            if (which == 3 || (which > 0 && !sawVersion))
                return Fail("XML declaration not well-formed");
            next = which + 1;
            SkipSpace();
            if (p_ == end_ || *p_ != '=') return Fail("XML declaration not well-formed");
            ++p_;
            SkipSpace();
            if (p_ == end_ || (*p_ != '"' && *p_ != '\''))
                return Fail("XML declaration not well-formed");
            Byte quote = *p_++;
            const Byte *value = p_;
            while (p_ < end_ && *p_ != quote) {
                Byte c = *p_;
                if (!(IsName(c) && c != ':')) return Fail("XML declaration not well-formed");
                ++p_;
            }
            if (p_ == end_) return Fail("unclosed token");
            size_t size = size_t(p_ - value);
            ++p_;
            if (which == 0) {
                sawVersion = true;
            } else if (which == 1) {
                if (EqualsIgnoringCase(value, size, "us-ascii"))
                    ascii_ = true;
                else if (!EqualsIgnoringCase(value, size, "utf-8"))
                    return Defer();
            } else if (!(size == 3 && std::memcmp(value, "yes", 3) == 0) &&
                       !(size == 2 && std::memcmp(value, "no", 2) == 0)) {
                return Fail("XML declaration not well-formed");
            }
        }
    }

    bool Comment() {
        p_ += 4;
        while (true) {
            if (p_ == end_) return Fail("unclosed token");
            if (*p_ == '-' && p_ + 1 < end_ && p_[1] == '-') {
                if (p_ + 2 < end_ && p_[2] == '>') {
                    p_ += 3;
                    return true;
                }
                return Fail(p_ + 2 < end_ ? "not well-formed (invalid token)" : "unclosed token");
            }
            if (!Character()) return false;
        }
    }

    bool Instruction() {
        p_ += 2;
        const Byte *name;
        size_t length;
        if (!Name(name, length)) return false;
        if (EqualsIgnoringCase(name, length, "xml"))
            return Fail("XML or text declaration not at start of entity");
        if (Starts("?>")) {
            p_ += 2;
            return true;
        }
        if (!SkipSpace())
            return Fail(p_ == end_ ? "unclosed token" : "not well-formed (invalid token)");
        while (true) {
            if (p_ == end_) return Fail("unclosed token");
            if (*p_ == '?' && p_ + 1 < end_ && p_[1] == '>') {
                p_ += 2;
                return true;
            }
            if (!Character()) return false;
        }
    }

    bool Literal(bool publicID) {
        if (p_ == end_) return Fail("unclosed token");
        if (*p_ != '"' && *p_ != '\'') return Fail("syntax error");
        Byte quote = *p_++;
        while (p_ < end_ && *p_ != quote) {
            if (publicID) {
                Byte c = *p_;
                bool allowed =
                    c != 0 && (std::isalnum(c) || std::strchr(" \r\n-'()+,./:=?;!*#@$_%", c));
                if (c >= 0x80 || !allowed) return Fail("illegal character(s) in public id");
                ++p_;
            } else if (!Character()) {
                return false;
            }
        }
        if (p_ == end_) return Fail("unclosed token");
        ++p_;
        return true;
    }

    // <!DOCTYPE name [SYSTEM "..." | PUBLIC "..." "..."]>; an internal subset
    // could declare entities and is refused.
    bool Doctype() {
        p_ += 9;
        if (!SkipSpace()) return Fail(p_ == end_ ? "unclosed token" : "syntax error");
        const Byte *name;
        size_t length;
        if (!Name(name, length)) return false;
        SkipSpace();
        if (p_ < end_ && IsNameStart(*p_)) {
            const Byte *keyword;
            size_t size;
            if (!Name(keyword, size)) return false;
            bool system = size == 6 && std::memcmp(keyword, "SYSTEM", 6) == 0;
            bool pub = size == 6 && std::memcmp(keyword, "PUBLIC", 6) == 0;
            if (!system && !pub) return Fail("syntax error");
            if (!SkipSpace()) return Fail(p_ == end_ ? "unclosed token" : "syntax error");
            if (pub) {
                if (!Literal(true)) return false;
                if (!SkipSpace()) return Fail(p_ == end_ ? "unclosed token" : "syntax error");
            }
            if (!Literal(false)) return false;
            SkipSpace();
        }
        if (p_ == end_) return Fail("unclosed token");
        if (*p_ == '[') return Fail("DOCTYPE with an internal subset");
        if (*p_ != '>') return Fail("syntax error");
        ++p_;
        return true;
    }

    // After "&": one of the five predefined entities or a character
    // reference, appended to out. Anything else is refused: no entity is
    // ever declared.
    bool Reference(char *out, size_t &size) {
        const Byte *start = p_++;
        if (p_ < end_ && *p_ == '#') {
            ++p_;
            bool hex = p_ < end_ && *p_ == 'x';
            if (hex) ++p_;
            uint32_t c = 0;
            const Byte *digits = p_;
            for (; p_ < end_ && *p_ != ';'; ++p_) {
                Byte d = *p_;
                unsigned v;
                if (d >= '0' && d <= '9')
                    v = d - '0';
                else if (hex && d >= 'a' && d <= 'f')
                    v = d - 'a' + 10;
                else if (hex && d >= 'A' && d <= 'F')
                    v = d - 'A' + 10;
                else
                    return Fail("not well-formed (invalid token)");
                c = c * (hex ? 16 : 10) + v;
                if (c > 0x10FFFF) c = 0x110000; // stays out of range
            }
            if (p_ == end_) return Fail("unclosed token");
            if (p_ == digits) return Fail("not well-formed (invalid token)");
            if (!IsReferableCharacter(c)) {
                p_ = start;
                return Fail("reference to invalid character number");
            }
            ++p_;
            size = EncodeUTF8(c, out);
            return true;
        }
        const Byte *name;
        size_t length;
        if (!Name(name, length)) return false;
        if (p_ == end_) return Fail("unclosed token");
        if (*p_ != ';') return Fail("not well-formed (invalid token)");
        ++p_;
        static const struct {
            const char *name;
            char value;
        } kEntities[] = {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
        for (const auto &entity : kEntities)
            if (std::strlen(entity.name) == length && std::memcmp(entity.name, name, length) == 0) {
                out[0] = entity.value;
                size = 1;
                return true;
            }
        p_ = start;
        return Fail("undefined entity");
    }

    // The attributes of a start tag up to its end; sets empty for "/>".
    bool Attributes(bool &empty) {
        attributes_.clear();
        while (true) {
            bool space = SkipSpace();
            if (p_ == end_) return Fail("unclosed token");
            if (*p_ == '>') {
                ++p_;
                empty = false;
                return true;
            }
            if (*p_ == '/') {
                if (p_ + 1 == end_) return Fail("unclosed token");
                if (p_[1] != '>') return Fail("not well-formed (invalid token)");
                p_ += 2;
                empty = true;
                return true;
            }
            if (!space) return Fail("not well-formed (invalid token)");
            const Byte *name;
            size_t length;
            if (!Name(name, length)) return false;
            for (const auto &[other, size] : attributes_)
                if (size == length && std::memcmp(other, name, length) == 0) {
                    p_ = name;
                    return Fail("duplicate attribute");
                }
            attributes_.push_back({name, length});
            SkipSpace();
            if (p_ == end_) return Fail("unclosed token");
            if (*p_ != '=') return Fail("not well-formed (invalid token)");
            ++p_;
            SkipSpace();
            if (p_ == end_) return Fail("unclosed token");
            if (*p_ != '"' && *p_ != '\'') return Fail("not well-formed (invalid token)");
            Byte quote = *p_++;
            while (true) {
                if (p_ == end_) return Fail("unclosed token");
                Byte c = *p_;
                if (c == quote) break;
                if (c == '<') return Fail("not well-formed (invalid token)");
                if (c == '&') {
                    char scratch[4];
                    size_t size;
                    if (!Reference(scratch, size)) return false;
                } else if (!Character()) {
                    return false;
                }
            }
            ++p_;
            // Another attribute must be set off by space.
            if (p_ < end_ && !IsSpace(*p_) && *p_ != '>' && *p_ != '/')
                return Fail("not well-formed (invalid token)");
        }
    }

    // Text for the builder. The first piece of a leaf's text is held back so
    // that a leaf whose text is one piece is made from the input in place.
    bool Text(const Byte *text, size_t length) {
        if (!length) return true;
        if (!builder_.InLeaf()) {
            return builder_.Characters(reinterpret_cast<const char *>(text), length) ||
                   Fail(builder_.Message());
        }
        if (pending_) {
            builder_.Characters(reinterpret_cast<const char *>(pending_), pendingLength_);
            pending_ = nullptr;
            pendingLength_ = 0;
            builder_.Characters(reinterpret_cast<const char *>(text), length);
            held_ = true;
        } else if (held_) {
            builder_.Characters(reinterpret_cast<const char *>(text), length);
        } else {
            pending_ = text;
            pendingLength_ = length;
        }
        return true;
    }

    bool Start(Element element, const Byte *name, size_t length, bool empty) {
        if (!builder_.StartElement(element, reinterpret_cast<const char *>(name), length))
            return Fail(builder_.Message());
        pending_ = nullptr;
        pendingLength_ = 0;
        held_ = false;
        if (empty) return End();
        open_.push_back(element);
        return true;
    }

    bool End() {
        bool ok;
        if (builder_.InLeaf()) {
            ok = builder_.EndLeaf(pending_ ? reinterpret_cast<const char *>(pending_) : "",
                                  pendingLength_);
            pending_ = nullptr;
            pendingLength_ = 0;
            held_ = false;
        } else {
            ok = builder_.EndElement();
        }
        return ok || Fail(builder_.Message());
    }

    bool StartTag() {
        // Most tags are a bare lowercase name closed at once: no attributes
        // to look at.
        const Byte *word = p_ + 1, *p = word;
        while (p < end_ && *p >= 'a' && *p <= 'z')
            ++p;
        if (p < end_ && (*p == '>' || (*p == '/' && p + 1 < end_ && p[1] == '>'))) {
            auto size = size_t(p - word);
            Element element = XMLBuilder::Lookup(reinterpret_cast<const char *>(word), size);
            if (element != Element::None) {
                bool empty = *p == '/';
                p_ = p + (empty ? 2 : 1);
                return Start(element, word, size, empty);
            }
        }
        const Byte *tag = p_++;
        const Byte *name;
        size_t length;
        if (!Name(name, length)) return false;
        Element element = XMLBuilder::Lookup(reinterpret_cast<const char *>(name), length);
        if (element == Element::None) {
            p_ = tag;
            return Fail("unknown element");
        }
        bool empty = false;
        if (!Attributes(empty)) return false;
        return Start(element, name, length, empty);
    }

    bool EndTag() {
        // Usually exactly the open element's name and '>'.
        std::string_view expected = kElementNames[size_t(open_.back())];
        size_t size = expected.size();
        if (size_t(end_ - p_) > size + 2 && p_[size + 2] == '>' &&
            std::memcmp(p_ + 2, expected.data(), size) == 0) {
            p_ += size + 3;
            open_.pop_back();
            return End();
        }
        p_ += 2;
        const Byte *name;
        size_t length;
        if (!Name(name, length)) return false;
        if (XMLBuilder::Lookup(reinterpret_cast<const char *>(name), length) != open_.back())
            return Fail("mismatched tag");
        SkipSpace();
        if (p_ == end_) return Fail("unclosed token");
        if (*p_ != '>') return Fail("not well-formed (invalid token)");
        ++p_;
        open_.pop_back();
        return End();
    }

    bool CData() {
        p_ += 9;
        const Byte *run = p_;
        while (true) {
            if (p_ == end_) return Fail("unclosed CDATA section");
            Byte c = *p_;
            if (c == ']' && end_ - p_ >= 3 && p_[1] == ']' && p_[2] == '>') {
                if (!Text(run, size_t(p_ - run))) return false;
                p_ += 3;
                return true;
            }
            if (c == '\r') {
                if (!Text(run, size_t(p_ - run)) || !Text(reinterpret_cast<const Byte *>("\n"), 1))
                    return false;
                ++p_;
                if (p_ < end_ && *p_ == '\n') ++p_;
                run = p_;
                continue;
            }
            if (c >= 0x20 && c < 0x80) {
                ++p_;
                continue;
            }
            if (!Character()) return false;
        }
    }

    void Progress() {
        size_t offset = size_t(p_ - begin_);
        if (offset - reported_ >= kProgressStep) {
            reported_ = offset;
            progress_(context_, offset);
        }
    }

    // The document element and everything inside it.
    bool Root() {
        if (!StartTag()) return false;
        while (!open_.empty()) {
            // Between elements only space can stand, and the builder has no
            // use for it: skipped here without a call.
            if (!builder_.InLeaf()) {
                p_ = SkipSpaces(p_, end_);
                if (p_ + 1 < end_ && *p_ == '<' && IsNameStart(p_[1])) {
                    if (progress_) Progress();
                    if (!StartTag()) return false;
                    continue;
                }
            }
            // Character data up to the next markup.
            const Byte *run = p_;
            while (true) {
                p_ = SkipPlain(p_, end_);
                if (p_ == end_) return Fail("no element found");
                uint8_t kind = kTextClass[*p_];
                if (kind == kHigh) {
                    if (!Character()) return false;
                    continue;
                }
                if (kind == kBracket) {
                    if (end_ - p_ >= 3 && p_[1] == ']' && p_[2] == '>')
                        return Fail("not well-formed (invalid token)");
                    ++p_;
                    continue;
                }
                break;
            }
            if (!Text(run, size_t(p_ - run))) return false;
            Byte c = *p_;
            if (c == '\r') {
                if (!Text(reinterpret_cast<const Byte *>("\n"), 1)) return false;
                ++p_;
                if (p_ < end_ && *p_ == '\n') ++p_;
                continue;
            }
            if (c == '&') {
                // A reference's text lives in a buffer of its own, as the
                // text held back may point into the input.
                char *slot = references_.Next();
                size_t size;
                if (!Reference(slot, size)) return false;
                if (!Text(reinterpret_cast<const Byte *>(slot), size)) return false;
                continue;
            }
            if (c != '<') return Fail("not well-formed (invalid token)");
            if (p_ + 1 == end_) return Fail("unclosed token");
            Byte next = p_[1];
            if (next == '/') {
                if (!EndTag()) return false;
            } else if (next == '!') {
                if (Starts("<!--")) {
                    if (!Comment()) return false;
                } else if (Starts("<![CDATA[")) {
                    if (!CData()) return false;
                } else {
                    return Fail(end_ - p_ < 9 ? "unclosed token"
                                              : "not well-formed (invalid token)");
                }
            } else if (next == '?') {
                if (!Instruction()) return false;
            } else {
                if (progress_ && !builder_.InLeaf()) Progress();
                if (!StartTag()) return false;
            }
        }
        return true;
    }

    // Small buffers for decoded references; text held back never points into
    // one that is reused before the leaf ends, as the second piece of a leaf
    // flushes the first into the builder.
    struct ReferenceSlots {
        char slots[2][4];
        int next = 0;
        char *Next() {
            next ^= 1;
            return slots[next];
        }
    };

    static constexpr size_t kProgressStep = size_t(256) << 10;

    const Byte *begin_, *p_, *end_;
    XMLBuilder builder_;
    ScanProgress progress_;
    void *context_;
    size_t reported_ = 0;
    bool ascii_ = false;
    std::vector<Element> open_;
    std::vector<std::pair<const Byte *, size_t>> attributes_;
    const Byte *pending_ = nullptr;
    size_t pendingLength_ = 0;
    bool held_ = false; // the leaf's text so far is in the builder
    ReferenceSlots references_;
    ScanStatus status_ = ScanStatus::Value;
    const Byte *at_ = nullptr;
    std::string message_;
};

} // namespace

ScanStatus ScanXML(CFAllocatorRef allocator, const void *bytes, size_t length,
                   CFOptionFlags options, CFPropertyListRef *value, ParseError *fault,
                   ScanProgress progress, void *context) {
    *value = nullptr;
    if (!bytes) return ScanStatus::Defer;
    try {
        Scanner scanner(allocator, bytes, length, options, progress, context);
        return scanner.Run(value, fault);
    } catch (const std::bad_alloc &) {
        // Out of memory is not a verdict on the document.
        return ScanStatus::Defer;
    }
}

} // namespace vt::plist
