// What the document commands share: the global options, loading the current
// document, saving it, and turning the layer's values into text.
#pragma once

#include "tools/Check.h"
#include "tools/Command.h"

#include <CoreFoundation/CoreFoundation.h>

#include <optional>
#include <string>
#include <vector>

namespace vt::tool {

struct GlobalOptions {
    std::string root; // --root: the domains' Scripts folders live under it
    bool json = false;
};

GlobalOptions &Globals();

// A command's own options, read from its arguments: flags, options with a
// value, and the operands that are left. Returns false after printing a
// usage error.
struct ParsedArguments {
    std::vector<std::string> operands;
    std::vector<std::string> flags;
    std::vector<std::pair<std::string, std::string>> values;
    bool Has(std::string_view flag) const;
    std::optional<std::string> Value(std::string_view name) const;
};
int ParseArguments(const Command &command, std::string_view path, Arguments args,
                   std::vector<std::string_view> flags, std::vector<std::string_view> valued,
                   size_t minOperands, size_t maxOperands, ParsedArguments &out);

CFStringRef CreateString(std::string_view text); // the caller releases it
std::string DocumentPath();
std::string PathOfURL(CFURLRef url);
// The file path of the URL text the map holds, or the text itself.
std::string PathOfURLText(CFStringRef text);
CFURLRef CreateURLForPath(const std::string &path, bool isDirectory); // absolute, caller releases
std::string ErrorText(CFDictionaryRef error);
std::string JSONString(std::string_view text);
std::string JSONValue(CFTypeRef value);
std::string DisplayValue(CFTypeRef value);

// Loads the framework's shared library so that its bundle is found; false
// when none can be loaded.
bool LoadFramework();

// Loads the current document; prints why not and returns false otherwise.
bool LoadCurrentDocument();
// Saves the held document; prints why not and returns false otherwise.
bool SaveDocument();

// The library an ID or exact title names; prints why not (candidates for an
// ambiguous title) and returns an empty string otherwise.
std::string ResolveLibrary(const std::string &nameOrID);

// Reports a failure on one line and returns kExitFailure.
int Fail(const std::string &subject, const std::string &cause);

} // namespace vt::tool
