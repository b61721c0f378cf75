// Global options, the folder look-up behind --root, and the document access
// every command shares.
#include "tools/Session.h"

#include <CoreServices/CoreServices.h>
#include <Vantrell/Vantrell.h>

#include "document/DocumentPrivate.h"
#include "platform/system/FindFolderInternal.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace vt::tool {

GlobalOptions &Globals() {
    static GlobalOptions options;
    return options;
}

bool ParsedArguments::Has(std::string_view flag) const {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

std::optional<std::string> ParsedArguments::Value(std::string_view name) const {
    for (const auto &[key, value] : values)
        if (key == name) return value;
    return std::nullopt;
}

int ParseArguments(const Command &command, std::string_view path, Arguments args,
                   std::vector<std::string_view> flags, std::vector<std::string_view> valued,
                   size_t minOperands, size_t maxOperands, ParsedArguments &out) {
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            out.operands.emplace_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--json") {
            Globals().json = true;
        } else if (std::find(flags.begin(), flags.end(), arg) != flags.end()) {
            out.flags.emplace_back(arg);
        } else if (std::find(valued.begin(), valued.end(), arg) != valued.end()) {
            if (i + 1 == args.size())
                return CommandUsageError(command, path,
                                         "option '" + std::string(arg) + "' needs a value");
            out.values.emplace_back(std::string(arg), std::string(args[++i]));
        } else {
            return CommandUsageError(command, path, "unknown option '" + std::string(arg) + "'");
        }
    }
    if (out.operands.size() < minOperands)
        return CommandUsageError(command, path, "missing argument");
    if (out.operands.size() > maxOperands)
        return CommandUsageError(command, path, "too many arguments");
    return kExitSuccess;
}

CFStringRef CreateString(std::string_view text) {
    return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8 *>(text.data()),
                                   CFIndex(text.size()), kCFStringEncodingUTF8, false);
}

std::string PathOfURL(CFURLRef url) {
    CFRef<CFURLRef> absolute(url ? CFURLCopyAbsoluteURL(url) : nullptr);
    CFRef<CFStringRef> path(absolute ? CFURLCopyFileSystemPath(absolute.get(), kCFURLPOSIXPathStyle)
                                     : nullptr);
    return path ? Text(path.get()) : "?";
}

std::string PathOfURLText(CFStringRef text) {
    if (!text) return "";
    CFRef<CFURLRef> url(CFURLCreateWithString(nullptr, text, nullptr));
    if (!url) return Text(text);
    CFRef<CFStringRef> scheme(CFURLCopyScheme(url.get()));
    if (!scheme || CFStringCompare(scheme.get(), CFSTR("file"), 0) != kCFCompareEqualTo)
        return Text(text);
    return PathOfURL(url.get());
}

CFURLRef CreateURLForPath(const std::string &path, bool isDirectory) {
    CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8 *>(path.data()), CFIndex(path.size()), isDirectory));
    return url ? CFURLCopyAbsoluteURL(url.get()) : nullptr;
}

std::string DocumentPath() {
    return PathOfURL(VTPrivate_DocumentGetURL(nullptr));
}

std::string ErrorText(CFDictionaryRef error) {
    CFStringRef text =
        error ? cf::Cast<CFStringRef>(CFDictionaryGetValue(error, CFSTR("description"))) : nullptr;
    return text ? Text(text) : "unknown error";
}

std::string JSONString(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += char(c);
                }
        }
    }
    return out + "\"";
}

std::string JSONValue(CFTypeRef value) {
    if (!value) return "null";
    if (auto string = cf::Cast<CFStringRef>(value)) return JSONString(Text(string));
    if (auto boolean = cf::Cast<CFBooleanRef>(value))
        return CFBooleanGetValue(boolean) ? "true" : "false";
    if (auto number = cf::Cast<CFNumberRef>(value)) {
        double real = 0;
        CFNumberGetValue(number, kCFNumberDoubleType, &real);
        long long integer = 0;
        CFNumberGetValue(number, kCFNumberLongLongType, &integer);
        if (double(integer) == real) return std::to_string(integer);
        char text[64];
        std::snprintf(text, sizeof text, "%.17g", real);
        return text;
    }
    if (auto array = cf::Cast<CFArrayRef>(value)) {
        std::string out = "[";
        for (CFIndex i = 0; i < CFArrayGetCount(array); ++i)
            out += (i ? ", " : "") + JSONValue(CFArrayGetValueAtIndex(array, i));
        return out + "]";
    }
    if (auto dictionary = cf::Cast<CFDictionaryRef>(value)) {
        CFIndex count = CFDictionaryGetCount(dictionary);
        std::vector<const void *> keys(static_cast<size_t>(count)),
            values(static_cast<size_t>(count));
        CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
        std::vector<std::pair<std::string, CFTypeRef>> entries;
        for (CFIndex i = 0; i < count; ++i)
            entries.emplace_back(Text(cf::Cast<CFStringRef>(keys[size_t(i)])), values[size_t(i)]);
        std::sort(entries.begin(), entries.end(),
                  [](const auto &a, const auto &b) { return a.first < b.first; });
        std::string out = "{";
        for (size_t i = 0; i < entries.size(); ++i)
            out += (i ? ", " : "") + JSONString(entries[i].first) + ": " +
                   JSONValue(entries[i].second);
        return out + "}";
    }
    if (cf::Cast<CFDataRef>(value))
        return JSONString("<" + std::to_string(CFDataGetLength(cf::Cast<CFDataRef>(value))) +
                          " bytes>");
    return "null";
}

std::string DisplayValue(CFTypeRef value) {
    if (auto string = cf::Cast<CFStringRef>(value)) return Text(string);
    return JSONValue(value);
}

int Fail(const std::string &subject, const std::string &cause) {
    std::fprintf(stderr, "vantrell: %s: %s\n", subject.c_str(), cause.c_str());
    return kExitFailure;
}

// The framework's shared library, as a host links it: beside the command in a
// build tree (../Vantrell.framework), in the installed library folder
// (bin/../lib/Vantrell.framework), else where it was built, unless
// VANTRELL_FRAMEWORK names another. Its bundle carries the Info.plist that
// names the document and the Modules folders.
bool LoadFramework() {
    static bool loaded = false;
    if (loaded) return true;
    std::vector<std::string> candidates;
    if (const char *named = std::getenv("VANTRELL_FRAMEWORK")) candidates.emplace_back(named);
    char self[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        std::string folder(self, size_t(length));
        folder.erase(folder.rfind('/'));
        candidates.push_back(folder + "/../Vantrell.framework/Vantrell");
        candidates.push_back(folder + "/" VANTRELL_INSTALL_BIN_TO_LIBDIR
                                      "/Vantrell.framework/Vantrell");
    }
    candidates.emplace_back(VANTRELL_FRAMEWORK_LIBRARY);
    for (const std::string &path : candidates)
        if (::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return loaded = true;
    return false;
}

bool LoadCurrentDocument() {
    LoadFramework();
    std::string path = DocumentPath();
    if (VTPrivate_DocumentLoad(nullptr) != kCFBooleanTrue) {
        Fail(path, "no readable module document; run 'vantrell init' to make one");
        return false;
    }
    CFStringRef version = VTDocumentGetVersion();
    if (!version || CFStringCompare(version, kVTDocumentVersion, 0) != kCFCompareEqualTo) {
        Fail(path, "module document of version " + (version ? Text(version) : "(none)") + ", not " +
                       Text(kVTDocumentVersion) +
                       "; run 'vantrell init' to keep a copy and carry it forward");
        return false;
    }
    return true;
}

bool SaveDocument() {
    CFRef<CFMutableDictionaryRef> error(VantrellSaveDocument(nullptr));
    if (!error) return true;
    Fail(DocumentPath(), "cannot save: " + ErrorText(error.get()));
    return false;
}

std::string ResolveLibrary(const std::string &nameOrID) {
    CFRef<CFStringRef> name(CreateString(nameOrID));
    if (name && VTLibraryGetValue(nullptr, name.get(), kVTKeyKind, nullptr)) return nameOrID;
    CFRef<CFArrayRef> ids(name ? VTDocumentCopyLibraryIDsWithTitle(nullptr, name.get(), nullptr)
                               : nullptr);
    CFIndex count = ids ? CFArrayGetCount(ids.get()) : 0;
    if (count == 1) return Text(cf::Cast<CFStringRef>(CFArrayGetValueAtIndex(ids.get(), 0)));
    if (count == 0) {
        Fail(nameOrID, "no library has this ID or title");
        return "";
    }
    Fail(nameOrID, "ambiguous title; candidates:");
    for (CFIndex i = 0; i < count; ++i)
        std::fprintf(stderr, "  %s\n",
                     Text(cf::Cast<CFStringRef>(CFArrayGetValueAtIndex(ids.get(), i))).c_str());
    return "";
}

} // namespace vt::tool

// The folder look-up the framework finds by name: under --root each domain's
// Scripts folder is ROOT/<domain>/Library/Scripts, else the built-in one.
OSErr FSFindFolder(SInt16 vRefNum, OSType folderType, Boolean createFolder, FSRef *foundRef) {
    const std::string &root = vt::tool::Globals().root;
    if (root.empty())
        return vt::platform::BuiltinFindFolder(vRefNum, folderType, createFolder, foundRef);
    if (!foundRef || folderType != kScriptsFolderType) return paramErr;
    const char *domain = vRefNum == kUserDomain      ? "user"
                         : vRefNum == kLocalDomain   ? "local"
                         : vRefNum == kNetworkDomain ? "network"
                                                     : nullptr;
    if (!domain) return paramErr;
    std::string path = root + "/" + domain + "/Library/Scripts";
    Boolean isDirectory = false;
    OSStatus status =
        FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), foundRef, &isDirectory);
    if (status != 0) return OSErr(status);
    return isDirectory ? OSErr(0) : OSErr(fnfErr);
}
