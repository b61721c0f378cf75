// The module document's consistency check and its safe repairs, apart from
// the command so that other callers (a fuzz target) can run them on any
// document value.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <vector>

namespace vt::tool {

// A string's UTF-8 text; empty for NULL.
std::string Text(CFStringRef string);

struct Finding {
    std::string path;    // where: "Libraries/<id>/Children/2"
    std::string message; // what is wrong there
};

// The faults of the document: dangling references (Children,
// Files, Owners, PropertyID, URLMapID), cycles among the libraries, values of
// the wrong type and map entries whose key does not match their text. Never
// throws; any value, even no dictionary, is checked.
std::vector<Finding> CheckDocument(CFTypeRef document);

// Repairs in place what can be repaired without guessing: removes dangling
// IDs, breaks cycles and drops values of the wrong type; map entries are never
// re-keyed. Returns what it changed, one line per change.
std::vector<std::string> RepairDocument(CFMutableDictionaryRef document);

} // namespace vt::tool
