// URLs: RFC 3986 text kept exactly as given, parsed once into component
// ranges, with an optional base URL that relative references resolve against.
#include "platform/files/FileSystem.h"
#include "platform/values/Cast.h"
#include "platform/values/Guard.h"
#include "platform/values/Holder.h"
#include "platform/values/Runtime.h"
#include "platform/strings/StringInternal.h"
#include "platform/files/URLInternal.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

using namespace vt::cf;
using std::string_view;

namespace {

struct Range {
    uint32_t start = 0;
    uint32_t length = 0;
    bool present = false;
};

// The five components of RFC 3986, section 3. A component that is present
// may be empty ("http://a/b?" has an empty query).
struct Parts {
    Range scheme, authority, path, query, fragment;
};

} // namespace

struct __CFURL {
    ObjectHeader header;
    CFStringRef string;
    CFURLRef base;
    Parts parts;
    uint32_t length;

    __CFURL(uint8_t allocator, const __VTRuntimeClass *cls, CFStringRef s, CFURLRef b,
            const Parts &p, uint32_t n)
        : header(cls, 1, allocator), string(s), base(b), parts(p), length(n) {}

    // The text follows the object (NUL-terminated).
    const char *Text() const { return reinterpret_cast<const char *>(this + 1); }
    char *MutableText() { return reinterpret_cast<char *>(this + 1); }
    string_view View() const { return {Text(), length}; }
    string_view Get(const Range &r) const { return View().substr(r.start, r.length); }
};

namespace {

bool IsAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsHex(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    return (c | 0x20) - 'a' + 10;
}
bool IsUnreserved(char c) {
    return IsAlpha(c) || IsDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}
bool IsSubDelim(char c) {
    return c != '\0' && std::strchr("!$&'()*+,;=", c) != nullptr;
}

// Checks that every character is allowed (unreserved, sub-delims, a valid
// %XX escape, or one of `extra`).
bool ValidChars(string_view s, const char *extra) {
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '%') {
            if (i + 2 >= s.size() || !IsHex(s[i + 1]) || !IsHex(s[i + 2])) return false;
            i += 2;
        } else if (!IsUnreserved(c) && !IsSubDelim(c) &&
                   (c == '\0' || std::strchr(extra, c) == nullptr)) {
            return false;
        }
    }
    return true;
}

bool ValidScheme(string_view s) {
    if (s.empty() || !IsAlpha(s[0])) return false;
    for (char c : s)
        if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') return false;
    return true;
}

// userinfo "@" host ":" port, where host may be a bracketed IP literal; the
// port is not needed.
struct Authority {
    string_view user, password, host;
    bool hasUser = false, hasPassword = false;
};

Authority SplitAuthority(string_view a) {
    Authority result;
    size_t at = a.find('@');
    if (at != string_view::npos) {
        string_view info = a.substr(0, at);
        result.hasUser = true;
        size_t colon = info.find(':');
        result.user = info.substr(0, colon);
        if (colon != string_view::npos) {
            result.hasPassword = true;
            result.password = info.substr(colon + 1);
        }
        a.remove_prefix(at + 1);
    }
    size_t hostEnd = a.find(':');
    if (!a.empty() && a[0] == '[') {
        size_t close = a.find(']');
        hostEnd = close == string_view::npos ? a.size() : close + 1;
    }
    hostEnd = std::min(hostEnd, a.size());
    result.host = a.substr(0, hostEnd);
    return result;
}

bool ValidAuthority(string_view a) {
    size_t at = a.find('@');
    if (at != string_view::npos && !ValidChars(a.substr(0, at), ":")) return false;
    string_view hostPort = at == string_view::npos ? a : a.substr(at + 1);
    string_view port;
    if (!hostPort.empty() && hostPort[0] == '[') {
        size_t close = hostPort.find(']');
        if (close == string_view::npos || !ValidChars(hostPort.substr(1, close - 1), ":"))
            return false;
        string_view rest = hostPort.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') return false;
        if (!rest.empty()) port = rest.substr(1);
    } else {
        size_t colon = hostPort.find(':');
        if (!ValidChars(hostPort.substr(0, colon), "")) return false;
        if (colon != string_view::npos) port = hostPort.substr(colon + 1);
    }
    for (char c : port)
        if (!IsDigit(c)) return false;
    return true;
}

Range MakeRange(size_t start, size_t end) {
    return {uint32_t(start), uint32_t(end - start), true};
}

// Splits a URI reference into its components (RFC 3986, appendix B) and
// checks each one's characters; false when the text is not a URI reference.
bool Parse(string_view s, Parts &parts) {
    parts = {};
    size_t i = 0;
    size_t n = s.size();
    size_t first = s.find_first_of(":/?#");
    if (first != string_view::npos && s[first] == ':') {
        // A colon before any "/" must end a scheme: a relative reference's
        // first segment cannot hold one.
        if (!ValidScheme(s.substr(0, first))) return false;
        parts.scheme = MakeRange(0, first);
        i = first + 1;
    }
    if (s.substr(i, 2) == "//") {
        size_t end = std::min(s.find_first_of("/?#", i + 2), n);
        parts.authority = MakeRange(i + 2, end);
        if (!ValidAuthority(s.substr(i + 2, end - i - 2))) return false;
        i = end;
    }
    size_t pathEnd = std::min(s.find_first_of("?#", i), n);
    parts.path = MakeRange(i, pathEnd);
    if (!ValidChars(s.substr(i, pathEnd - i), ":@/")) return false;
    i = pathEnd;
    if (i < n && s[i] == '?') {
        size_t end = std::min(s.find('#', i + 1), n);
        parts.query = MakeRange(i + 1, end);
        if (!ValidChars(s.substr(i + 1, end - i - 1), ":@/?")) return false;
        i = end;
    }
    if (i < n && s[i] == '#') {
        parts.fragment = MakeRange(i + 1, n);
        if (!ValidChars(s.substr(i + 1), ":@/?")) return false;
    }
    return true;
}

void URLFinalize(CFTypeRef cf) {
    auto *url = static_cast<__CFURL *>(const_cast<void *>(cf));
    if (url->string) CFRelease(url->string);
    if (url->base) CFRelease(url->base);
}

bool URLEqual(CFTypeRef a, CFTypeRef b) {
    const auto *x = static_cast<const __CFURL *>(a);
    const auto *y = static_cast<const __CFURL *>(b);
    if (x->View() != y->View()) return false;
    if (!x->base || !y->base) return x->base == y->base;
    return CFEqual(x->base, y->base);
}

CFHashCode URLHash(CFTypeRef cf) {
    const auto *url = static_cast<const __CFURL *>(cf);
    uint64_t h = 0xcbf29ce484222325ull;
    for (char c : url->View())
        h = (h ^ uint8_t(c)) * 0x100000001b3ull;
    return CFHashCode(h ^ (h >> 29));
}

CFStringRef URLDescription(CFTypeRef cf);

constexpr __VTRuntimeClass kURLClass = {
    kTypeIDURL, "CFURL", URLFinalize, URLEqual, URLHash, URLDescription,
};

const __CFURL *AsURL(CFTypeRef cf) {
    return As<const __CFURL>(cf, kTypeIDURL);
}

// A new URL from text already known to be valid and its parts; takes a new
// reference to base.
CFURLRef CreateParsed(CFAllocatorRef allocator, string_view text, const Parts &parts,
                      CFURLRef base) {
    if (text.size() >= UINT32_MAX) return nullptr;
    CFStringRef string = StringCreateWithValidUTF8(allocator, text.data(), text.size(), false);
    if (!string) return nullptr;
    if (base) CFRetain(base);
    auto *url = CreateObject<__CFURL>(allocator, text.size() + 1, &kURLClass, string, base, parts,
                                      uint32_t(text.size()));
    if (!url) {
        CFRelease(string);
        if (base) CFRelease(base);
        return nullptr;
    }
    std::memcpy(url->MutableText(), text.data(), text.size());
    url->MutableText()[text.size()] = '\0';
    return url;
}

// A URL from text; nullptr when the text is not a URI reference. A URL with
// a scheme is absolute and keeps no base.
CFURLRef CreateFromText(CFAllocatorRef allocator, string_view text, CFURLRef base) {
    Parts parts;
    if (!Parse(text, parts)) return nullptr;
    return CreateParsed(allocator, text, parts, parts.scheme.present ? nullptr : base);
}

// RFC 3986, section 5.2.4.
std::string RemoveDotSegments(string_view in) {
    std::string out;
    out.reserve(in.size());
    auto popSegment = [&out] {
        size_t slash = out.rfind('/');
        out.erase(slash == std::string::npos ? 0 : slash);
    };
    while (!in.empty()) {
        if (in.starts_with("../")) {
            in.remove_prefix(3);
        } else if (in.starts_with("./")) {
            in.remove_prefix(2);
        } else if (in.starts_with("/./")) {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.starts_with("/../")) {
            in.remove_prefix(3);
            popSegment();
        } else if (in == "/..") {
            in = "/";
            popSegment();
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            size_t end = in.find('/', 1);
            if (end == string_view::npos) end = in.size();
            out.append(in.substr(0, end));
            in.remove_prefix(end);
        }
    }
    return out;
}

// A parsed text with its own storage.
struct Text {
    std::string text;
    Parts parts;
    string_view Get(const Range &r) const { return string_view(text).substr(r.start, r.length); }
};

void AppendComponents(std::string &out, string_view scheme, bool hasScheme,
                      std::optional<string_view> authority, string_view path,
                      std::optional<string_view> query, std::optional<string_view> fragment) {
    if (hasScheme) {
        out.append(scheme);
        out += ':';
    }
    if (authority) {
        out += "//";
        out.append(*authority);
    }
    out.append(path);
    if (query) {
        out += '?';
        out.append(*query);
    }
    if (fragment) {
        out += '#';
        out.append(*fragment);
    }
}

std::optional<string_view> Optional(string_view whole, const Range &r) {
    if (!r.present) return std::nullopt;
    return whole.substr(r.start, r.length);
}

// Resolves a reference against an absolute base (RFC 3986, section 5.2.2).
std::string Resolve(string_view b, const Parts &bp, string_view r, const Parts &rp) {
    auto part = [](string_view s, const Range &range) {
        return s.substr(range.start, range.length);
    };
    std::string out;
    if (rp.scheme.present) {
        AppendComponents(out, part(r, rp.scheme), true, Optional(r, rp.authority),
                         RemoveDotSegments(part(r, rp.path)), Optional(r, rp.query),
                         Optional(r, rp.fragment));
        return out;
    }
    std::optional<string_view> authority = Optional(b, bp.authority);
    std::optional<string_view> query = Optional(r, rp.query);
    std::string path;
    string_view rpath = part(r, rp.path);
    if (rp.authority.present) {
        authority = Optional(r, rp.authority);
        path = RemoveDotSegments(rpath);
    } else if (rpath.empty()) {
        path = part(b, bp.path);
        if (!query) query = Optional(b, bp.query);
    } else if (rpath[0] == '/') {
        path = RemoveDotSegments(rpath);
    } else {
        string_view bpath = part(b, bp.path);
        std::string merged;
        if (bp.authority.present && bpath.empty()) {
            merged = "/";
        } else {
            size_t slash = bpath.rfind('/');
            if (slash != string_view::npos) merged = bpath.substr(0, slash + 1);
        }
        merged.append(rpath);
        path = RemoveDotSegments(merged);
    }
    AppendComponents(out, part(b, bp.scheme), bp.scheme.present, authority, path, query,
                     Optional(r, rp.fragment));
    return out;
}

// The URL's text resolved against its bases; false when a resolved text does
// not parse again (only for bases without a scheme).
bool Absolute(const __CFURL *url, Text &out) {
    if (!url->base) {
        out.text.assign(url->View());
        out.parts = url->parts;
        return true;
    }
    Text base;
    if (!Absolute(AsURL(url->base), base)) return false;
    out.text = Resolve(base.text, base.parts, url->View(), url->parts);
    return Parse(out.text, out.parts);
}

CFStringRef URLDescription(CFTypeRef cf) {
    const auto *url = static_cast<const __CFURL *>(cf);
    if (!url->base) return static_cast<CFStringRef>(CFRetain(url->string));
    return vt::Guard(CFStringRef(nullptr), [&]() -> CFStringRef {
        Text absolute;
        if (!Absolute(url, absolute)) return nullptr;
        return StringCreateWithValidUTF8(kCFAllocatorSystemDefault, absolute.text.data(),
                                         absolute.text.size(), false);
    });
}

// Escapes bytes for a path: unreserved characters (and "/" when keepSlash)
// stay, everything else becomes %XX in uppercase hex.
void AppendEscaped(std::string &out, const char *bytes, size_t length, bool keepSlash) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < length; ++i) {
        char c = bytes[i];
        if (IsUnreserved(c) || (keepSlash && c == '/')) {
            out += c;
        } else {
            auto byte = uint8_t(c);
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
}

// Decodes %XX escapes (the text was validated, so every escape is whole).
std::string Decode(string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += char(HexValue(s[i + 1]) << 4 | HexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The path with its trailing "/" removed, except for the root.
string_view WithoutTrailingSlash(string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return path;
}

CFStringRef CreateUTF8String(CFAllocatorRef allocator, string_view bytes) {
    return CFStringCreateWithBytes(allocator, reinterpret_cast<const UInt8 *>(bytes.data()),
                                   CFIndex(bytes.size()), kCFStringEncodingUTF8, false);
}

bool EqualsIgnoringCase(string_view a, string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if ((a[i] | 0x20) != (b[i] | 0x20) || IsAlpha(a[i]) != IsAlpha(b[i])) return false;
    return true;
}

// The scheme of the URL or, for a relative URL, of its base.
const __CFURL *SchemeOwner(const __CFURL *url) {
    while (url && !url->parts.scheme.present)
        url = AsURL(url->base);
    return url;
}

// The URL whose authority answers host, user and password questions: the URL
// itself when it has one, else its base for a relative URL without a scheme.
const __CFURL *AuthorityOwner(const __CFURL *url) {
    while (url && !url->parts.authority.present) {
        if (url->parts.scheme.present) return nullptr;
        url = AsURL(url->base);
    }
    return url;
}

// The decoded path bytes of a file URL: absolute (resolved) or the URL's own.
SInt32 FilePathBytes(const __CFURL *url, bool resolve, std::string &path) {
    if (!url) return kCFURLImproperArgumentsError;
    const __CFURL *schemeOwner = SchemeOwner(url);
    if (!schemeOwner || !EqualsIgnoringCase(schemeOwner->Get(schemeOwner->parts.scheme), "file"))
        return kCFURLUnknownSchemeError;
    if (const __CFURL *owner = AuthorityOwner(url)) {
        string_view host = SplitAuthority(owner->Get(owner->parts.authority)).host;
        if (!host.empty() && !EqualsIgnoringCase(host, "localhost"))
            return kCFURLRemoteHostUnavailableError;
    }
    Text text;
    if (resolve) {
        if (!Absolute(url, text)) return kCFURLImproperArgumentsError;
    } else {
        text.text.assign(url->View());
        text.parts = url->parts;
    }
    string_view encoded = text.Get(text.parts.path);
    if (encoded.empty() || (resolve && encoded[0] != '/')) return kCFURLImproperArgumentsError;
    path = Decode(WithoutTrailingSlash(encoded));
    if (path.find('\0') != std::string::npos) return kCFURLImproperArgumentsError;
    return 0;
}

// A file URL for a path given as bytes: absolute paths become "file://"
// URLs, relative ones keep their text and take the working folder as base.
CFURLRef CreateWithPathBytes(CFAllocatorRef allocator, string_view path, bool isDirectory) {
    if (path.empty()) return nullptr;
    path = isDirectory ? path : WithoutTrailingSlash(path);
    std::string text;
    bool absolute = path[0] == '/';
    if (absolute) text = "file://";
    AppendEscaped(text, path.data(), path.size(), true);
    if (isDirectory && path.back() != '/') text += '/';
    if (absolute) return CreateFromText(allocator, text, nullptr);
    std::string folder = vt::platform::CurrentDirectory();
    if (folder.empty()) return nullptr;
    vt::CFRef<CFURLRef> base(URLCreateWithAbsolutePath(allocator, folder, true));
    if (!base) return nullptr;
    return CreateFromText(allocator, text, base.get());
}

// The HFS-style form of an encoded path: the root volume "Root", then the
// decoded components joined by ":" with ":" and "/" swapped inside names.
std::string HFSPath(string_view path) {
    std::string out;
    bool absolute = !path.empty() && path[0] == '/';
    if (absolute) out = "Root";
    size_t i = 0;
    while (i < path.size()) {
        size_t end = std::min(path.find('/', i), path.size());
        if (end > i) {
            std::string name = Decode(path.substr(i, end - i));
            for (char &c : name)
                c = c == ':' ? '/' : c == '/' ? ':' : c;
            out += ':';
            out += name;
        }
        i = end + 1;
    }
    if (!path.empty() && path.back() == '/') out += ':';
    return out;
}

// The URL's own path when it has one, else its resolved path.
bool EffectivePath(const __CFURL *url, Text &storage, string_view &path) {
    path = url->Get(url->parts.path);
    if (!path.empty() || !url->base) return true;
    if (!Absolute(url, storage)) return false;
    path = storage.Get(storage.parts.path);
    return true;
}

// The last path component, decoded when the escapes form UTF-8.
CFStringRef CopyLastComponent(const __CFURL *url, bool extensionOnly) {
    Text storage;
    string_view path;
    if (!EffectivePath(url, storage, path)) return nullptr;
    string_view trimmed = WithoutTrailingSlash(path);
    string_view last = trimmed;
    if (trimmed != "/") {
        size_t slash = trimmed.rfind('/');
        if (slash != string_view::npos) last = trimmed.substr(slash + 1);
    }
    std::string decoded = Decode(last);
    CFAllocatorRef allocator = CFGetAllocator(url);
    if (extensionOnly) {
        size_t dot = decoded.rfind('.');
        if (dot == std::string::npos || dot == 0 || dot + 1 == decoded.size()) return nullptr;
        decoded.erase(0, dot + 1);
    }
    if (CFStringRef result = CreateUTF8String(allocator, decoded)) return result;
    return CreateUTF8String(allocator, last);
}

} // namespace

namespace vt::cf {

SInt32 URLFilePath(CFURLRef url, std::string &path) {
    return vt::Guard(SInt32(kCFURLUnknownError),
                     [&]() -> SInt32 { return FilePathBytes(AsURL(url), true, path); });
}

CFURLRef URLCreateWithAbsolutePath(CFAllocatorRef allocator, const std::string &path,
                                   bool isDirectory) {
    if (path.empty() || path[0] != '/') return nullptr;
    return CreateWithPathBytes(allocator, path, isDirectory);
}

CFURLRef URLCreateWithText(CFAllocatorRef allocator, string_view text, CFURLRef base) {
    return CreateFromText(allocator, text, base);
}

void AppendEscapedSegment(std::string &out, const char *bytes, size_t length) {
    AppendEscaped(out, bytes, length, false);
}

} // namespace vt::cf

extern "C" {

CFTypeID CFURLGetTypeID(void) {
    return kTypeIDURL;
}

CFURLRef CFURLCreateWithString(CFAllocatorRef allocator, CFStringRef URLString, CFURLRef baseURL) {
    if (!Cast<CFStringRef>(URLString)) return nullptr;
    if (baseURL && !AsURL(baseURL)) return nullptr;
    return vt::Guard(CFURLRef(nullptr), [&]() -> CFURLRef {
        std::string text = StringToUTF8(URLString);
        return CreateFromText(allocator, text, baseURL);
    });
}

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef allocator, CFStringRef filePath,
                                       CFURLPathStyle pathStyle, Boolean isDirectory) {
    if (!Cast<CFStringRef>(filePath) || pathStyle != kCFURLPOSIXPathStyle) return nullptr;
    return vt::Guard(CFURLRef(nullptr), [&]() -> CFURLRef {
        std::string path = StringToUTF8(filePath);
        if (path.find('\0') != std::string::npos) return nullptr;
        return CreateWithPathBytes(allocator, path, isDirectory);
    });
}

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef allocator, const UInt8 *buffer,
                                                 CFIndex bufLen, Boolean isDirectory) {
    if (!buffer || bufLen <= 0) return nullptr;
    const char *bytes = reinterpret_cast<const char *>(buffer);
    const void *nul = std::memchr(bytes, 0, size_t(bufLen));
    size_t length = nul ? size_t(static_cast<const char *>(nul) - bytes) : size_t(bufLen);
    return vt::Guard(CFURLRef(nullptr), [&]() -> CFURLRef {
        return CreateWithPathBytes(allocator, string_view(bytes, length), isDirectory);
    });
}

CFURLRef CFURLCopyAbsoluteURL(CFURLRef relativeURL) {
    const __CFURL *url = AsURL(relativeURL);
    if (!url) return nullptr;
    if (!url->base) return static_cast<CFURLRef>(CFRetain(relativeURL));
    return vt::Guard(CFURLRef(nullptr), [&]() -> CFURLRef {
        Text absolute;
        if (!Absolute(url, absolute)) return nullptr;
        return CreateParsed(CFGetAllocator(relativeURL), absolute.text, absolute.parts, nullptr);
    });
}

CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef allocator, CFURLRef url,
                                               CFStringRef pathComponent, Boolean isDirectory) {
    const __CFURL *u = AsURL(url);
    if (!u || !Cast<CFStringRef>(pathComponent)) return nullptr;
    return vt::Guard(CFURLRef(nullptr), [&]() -> CFURLRef {
        std::string component = StringToUTF8(pathComponent);
        if (component.empty()) return nullptr;
        string_view text = u->View();
        string_view path = u->Get(u->parts.path);
        size_t pathEnd = u->parts.path.start + u->parts.path.length;
        std::string result(text.substr(0, pathEnd));
        if ((!path.empty() && path.back() != '/') || (path.empty() && u->parts.authority.present))
            result += '/';
        AppendEscaped(result, component.data(), component.size(), false);
        if (isDirectory) result += '/';
        result.append(text.substr(pathEnd));
        return CreateFromText(allocator, result, u->base);
    });
}

CFURLRef CFURLCreateCopyDeletingLastPathComponent(CFAllocatorRef allocator, CFURLRef url) {
    const __CFURL *u = AsURL(url);
    if (!u) return nullptr;
    return vt::Guard(CFURLRef(nullptr), [&]() -> CFURLRef {
        string_view text = u->View();
        string_view path = u->Get(u->parts.path);
        string_view trimmed = path;
        while (!trimmed.empty() && trimmed.back() == '/')
            trimmed.remove_suffix(1);
        // Nothing to delete from an empty path or the root.
        if (trimmed.empty()) return static_cast<CFURLRef>(CFRetain(url));
        size_t slash = trimmed.rfind('/');
        string_view last = slash == string_view::npos ? trimmed : trimmed.substr(slash + 1);
        std::string newPath;
        if (last == "..") {
            // Going up from ".." means one level further.
            newPath.assign(path);
            if (newPath.back() != '/') newPath += '/';
            newPath += "../";
        } else if (slash == string_view::npos) {
            newPath = last == "." ? "../" : "./";
        } else {
            newPath.assign(trimmed.substr(0, slash + 1));
        }
        std::string result(text.substr(0, u->parts.path.start));
        result += newPath;
        result.append(text.substr(u->parts.path.start + u->parts.path.length));
        return CreateFromText(allocator, result, u->base);
    });
}

CFStringRef CFURLGetString(CFURLRef anURL) {
    const __CFURL *url = AsURL(anURL);
    return url ? url->string : nullptr;
}

CFURLRef CFURLGetBaseURL(CFURLRef anURL) {
    const __CFURL *url = AsURL(anURL);
    return url ? url->base : nullptr;
}

CFStringRef CFURLCopyScheme(CFURLRef anURL) {
    const __CFURL *owner = SchemeOwner(AsURL(anURL));
    if (!owner) return nullptr;
    return CreateUTF8String(CFGetAllocator(anURL), owner->Get(owner->parts.scheme));
}

CFStringRef CFURLCopyHostName(CFURLRef anURL) {
    const __CFURL *owner = AuthorityOwner(AsURL(anURL));
    if (!owner) return nullptr;
    string_view host = SplitAuthority(owner->Get(owner->parts.authority)).host;
    if (host.empty()) return nullptr;
    // An IP literal's brackets only delimit it within the text.
    if (host.front() == '[') host = host.substr(1, host.size() - 2);
    return vt::Guard(CFStringRef(nullptr), [&]() -> CFStringRef {
        return CreateUTF8String(CFGetAllocator(anURL), Decode(host));
    });
}

CFStringRef CFURLCopyUserName(CFURLRef anURL) {
    const __CFURL *owner = AuthorityOwner(AsURL(anURL));
    if (!owner) return nullptr;
    Authority authority = SplitAuthority(owner->Get(owner->parts.authority));
    if (!authority.hasUser) return nullptr;
    return vt::Guard(CFStringRef(nullptr), [&]() -> CFStringRef {
        return CreateUTF8String(CFGetAllocator(anURL), Decode(authority.user));
    });
}

CFStringRef CFURLCopyPassword(CFURLRef anURL) {
    const __CFURL *owner = AuthorityOwner(AsURL(anURL));
    if (!owner) return nullptr;
    Authority authority = SplitAuthority(owner->Get(owner->parts.authority));
    if (!authority.hasPassword) return nullptr;
    return vt::Guard(CFStringRef(nullptr), [&]() -> CFStringRef {
        return CreateUTF8String(CFGetAllocator(anURL), Decode(authority.password));
    });
}

CFStringRef CFURLCopyPath(CFURLRef anURL) {
    const __CFURL *url = AsURL(anURL);
    if (!url) return nullptr;
    string_view path = url->Get(url->parts.path);
    return StringCreateWithValidUTF8(CFGetAllocator(anURL), path.data(), path.size(), false);
}

CFStringRef CFURLCopyLastPathComponent(CFURLRef url) {
    const __CFURL *u = AsURL(url);
    if (!u) return nullptr;
    return vt::Guard(CFStringRef(nullptr),
                     [&]() -> CFStringRef { return CopyLastComponent(u, false); });
}

CFStringRef CFURLCopyPathExtension(CFURLRef url) {
    const __CFURL *u = AsURL(url);
    if (!u) return nullptr;
    return vt::Guard(CFStringRef(nullptr),
                     [&]() -> CFStringRef { return CopyLastComponent(u, true); });
}

Boolean CFURLHasDirectoryPath(CFURLRef anURL) {
    const __CFURL *url = AsURL(anURL);
    if (!url) return false;
    return vt::Guard(Boolean(false), [&]() -> Boolean {
        Text storage;
        string_view path;
        return EffectivePath(url, storage, path) && !path.empty() && path.back() == '/';
    });
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle) {
    const __CFURL *url = AsURL(anURL);
    if (!url || (pathStyle != kCFURLPOSIXPathStyle && pathStyle != kCFURLHFSPathStyle))
        return nullptr;
    return vt::Guard(CFStringRef(nullptr), [&]() -> CFStringRef {
        Text absolute;
        if (!Absolute(url, absolute)) return nullptr;
        string_view path = absolute.Get(absolute.parts.path);
        std::string result =
            pathStyle == kCFURLHFSPathStyle ? HFSPath(path) : Decode(WithoutTrailingSlash(path));
        if (result.find('\0') != std::string::npos) return nullptr;
        return CreateUTF8String(CFGetAllocator(anURL), result);
    });
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, UInt8 *buffer,
                                         CFIndex maxBufLen) {
    if (!buffer || maxBufLen <= 0) return false;
    return vt::Guard(Boolean(false), [&]() -> Boolean {
        std::string path;
        if (FilePathBytes(AsURL(url), resolveAgainstBase, path) != 0) return false;
        if (path.size() >= size_t(maxBufLen)) return false;
        std::memcpy(buffer, path.c_str(), path.size() + 1);
        return true;
    });
}

} // extern "C"
