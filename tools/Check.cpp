// The document's consistency check. One walk serves both the check and the
// repair: given a mutable document it also fixes what it finds, where a fix
// loses nothing that was still reachable.
#include "tools/Check.h"

#include <Vantrell/Vantrell.h>

#include "platform/values/Cast.h"
#include "platform/values/Guard.h"
#include "platform/values/Holder.h"
#include "utilities/UtilitiesPrivate.h"

#include <algorithm>
#include <map>
#include <string>
#include <utility>

namespace vt::tool {

std::string Text(CFStringRef string) {
    if (!string) return "";
    CFIndex length = CFStringGetLength(string);
    CFIndex size = CFStringGetMaximumSizeForEncoding(length, kCFStringEncodingUTF8) + 1;
    std::string text(static_cast<size_t>(size), '\0');
    CFIndex used = 0;
    CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, '?', false,
                     reinterpret_cast<UInt8 *>(text.data()), size, &used);
    text.resize(static_cast<size_t>(used));
    return text;
}

namespace {

// A dictionary's entries with string keys, in key order; other keys are
// reported by the caller through `badKeys`.
std::vector<std::pair<CFStringRef, CFTypeRef>> Entries(CFDictionaryRef dictionary,
                                                       size_t *badKeys = nullptr) {
    std::vector<std::pair<CFStringRef, CFTypeRef>> entries;
    if (!dictionary) return entries;
    CFIndex count = CFDictionaryGetCount(dictionary);
    std::vector<const void *> keys(static_cast<size_t>(count)), values(static_cast<size_t>(count));
    CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
    for (size_t i = 0; i < size_t(count); ++i) {
        if (auto key = cf::Cast<CFStringRef>(keys[i]))
            entries.emplace_back(key, values[i]);
        else if (badKeys)
            ++*badKeys;
    }
    std::sort(entries.begin(), entries.end(), [](const auto &a, const auto &b) {
        return CFStringCompare(a.first, b.first, 0) == kCFCompareLessThan;
    });
    return entries;
}

class Walk {
  public:
    Walk(CFTypeRef document, bool repair) : document_(cf::Cast<CFDictionaryRef>(document)) {
        if (repair) mutable_ = cf::CastMutable<CFMutableDictionaryRef>(document);
    }

    void Run() {
        if (!document_) {
            Report("", "the document is not a dictionary");
            return;
        }
        libraries_ = Table(kVTTopLevelKeyLibraries);
        files_ = Table(kVTTopLevelKeyFiles);
        map_ = Table(kVTTopLevelKeyMap);
        properties_ = Table(kVTTopLevelKeyProperties);
        CheckMap();
        CheckLibraries();
        CheckCycles();
        CheckFiles();
    }

    std::vector<Finding> findings;
    std::vector<std::string> changes;

  private:
    void Report(std::string path, std::string message) {
        findings.push_back({std::move(path), std::move(message)});
    }

    void Changed(const std::string &path, const std::string &what) {
        changes.push_back(path + ": " + what);
    }

    CFDictionaryRef Table(CFStringRef key) {
        CFTypeRef value = CFDictionaryGetValue(document_, key);
        if (!value) {
            Report(Text(key), "missing table");
            return nullptr;
        }
        auto table = cf::Cast<CFDictionaryRef>(value);
        if (!table) Report(Text(key), "not a dictionary");
        return table;
    }

    static bool Contains(CFDictionaryRef table, CFTypeRef key) {
        return table && key && CFDictionaryContainsKey(table, key);
    }

    // Removes the key from a record when the walk repairs.
    void Drop(CFDictionaryRef record, CFStringRef key, const std::string &path,
              const std::string &why) {
        auto editable = mutable_ ? cf::CastMutable<CFMutableDictionaryRef>(record) : nullptr;
        if (!editable) return;
        CFDictionaryRemoveValue(editable, key);
        Changed(path, "removed (" + why + ")");
    }

    // An array of IDs that must each name an entry of `table`: other values
    // and dangling IDs are reported and, when repairing, removed.
    void CheckIDs(CFDictionaryRef record, CFStringRef key, const std::string &path,
                  CFDictionaryRef table, const char *tableName) {
        CFTypeRef value = CFDictionaryGetValue(record, key);
        if (!value) return;
        auto array = cf::Cast<CFArrayRef>(value);
        if (!array) {
            Report(path, "not an array");
            Drop(record, key, path, "not an array");
            return;
        }
        std::vector<CFIndex> bad;
        for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
            std::string where = path + "/" + std::to_string(i);
            auto id = cf::Cast<CFStringRef>(CFArrayGetValueAtIndex(array, i));
            if (!id) {
                Report(where, "not a string");
                bad.push_back(i);
            } else if (table && !Contains(table, id)) {
                Report(where, "dangling ID " + Text(id) + " (no such entry in " + tableName + ")");
                bad.push_back(i);
            }
        }
        auto editable = mutable_ ? cf::CastMutable<CFMutableArrayRef>(array) : nullptr;
        if (!editable) return;
        for (auto it = bad.rbegin(); it != bad.rend(); ++it) {
            std::string where = path + "/" + std::to_string(*it);
            // Described before removal: the array holds the only reference.
            auto id = cf::Cast<CFStringRef>(CFArrayGetValueAtIndex(editable, *it));
            std::string what =
                id ? "removed dangling ID " + Text(id) : "removed a value not a string";
            CFArrayRemoveValueAtIndex(editable, *it);
            Changed(where, what);
        }
    }

    // A single ID that must name an entry of `table`.
    void CheckID(CFDictionaryRef record, CFStringRef key, const std::string &path,
                 CFDictionaryRef table, const char *tableName) {
        CFTypeRef value = CFDictionaryGetValue(record, key);
        if (!value) return;
        auto id = cf::Cast<CFStringRef>(value);
        if (!id) {
            Report(path, "not a string");
            Drop(record, key, path, "not a string");
        } else if (table && !Contains(table, id)) {
            Report(path, "dangling ID " + Text(id) + " (no such entry in " + tableName + ")");
            Drop(record, key, path, "dangling ID " + Text(id));
        }
    }

    void CheckString(CFDictionaryRef record, CFStringRef key, const std::string &path) {
        CFTypeRef value = CFDictionaryGetValue(record, key);
        if (value && !cf::Cast<CFStringRef>(value)) {
            Report(path, "not a string");
            Drop(record, key, path, "not a string");
        }
    }

    // Drops a table entry that is no dictionary.
    void DropEntry(CFDictionaryRef table, CFStringRef key, const std::string &path) {
        Report(path, "not a dictionary");
        auto editable = mutable_ ? cf::CastMutable<CFMutableDictionaryRef>(table) : nullptr;
        if (!editable) return;
        CFDictionaryRemoveValue(editable, key);
        Changed(path, "removed (not a dictionary)");
    }

    void CheckMap() {
        if (!map_) return;
        for (auto [key, value] : Entries(map_)) {
            std::string path = "Map/" + Text(key);
            auto text = cf::Cast<CFStringRef>(value);
            if (!text) {
                Report(path, "not a string");
                auto editable = mutable_ ? cf::CastMutable<CFMutableDictionaryRef>(map_) : nullptr;
                if (editable) {
                    CFDictionaryRemoveValue(editable, key);
                    Changed(path, "removed (not a string)");
                }
                continue;
            }
            CFRef<CFStringRef> hashed(VTU_StringCreateHashedWithMD5(nullptr, text));
            if (!hashed || CFStringCompare(hashed.get(), key, 0) != kCFCompareEqualTo)
                Report(path, "key does not match its text " + Text(text));
        }
    }

    void CheckLibraries() {
        if (!libraries_) return;
        for (auto [id, value] : Entries(libraries_)) {
            std::string path = "Libraries/" + Text(id);
            auto record = cf::Cast<CFDictionaryRef>(value);
            if (!record) {
                DropEntry(libraries_, id, path);
                continue;
            }
            CheckString(record, kVTKeyTitle, path + "/Title");
            CheckString(record, kVTKeyKind, path + "/Kind");
            // Root libraries name reserved parents outside the table.
            CheckString(record, kVTKeyParentID, path + "/ParentID");
            CheckIDs(record, kVTKeyChildren, path + "/Children", libraries_, "Libraries");
            CheckIDs(record, kVTKeyFiles, path + "/Files", files_, "Files");
            CheckID(record, kVTLibraryKeyPropertyID, path + "/PropertyID", properties_,
                    "Properties");
            CheckID(record, kVTFileInfoKeyURLMapID, path + "/URLMapID", map_, "Map");
        }
    }

    void CheckFiles() {
        if (!files_) return;
        for (auto [id, value] : Entries(files_)) {
            std::string path = "Files/" + Text(id);
            auto entry = cf::Cast<CFDictionaryRef>(value);
            if (!entry) {
                DropEntry(files_, id, path);
                continue;
            }
            CheckIDs(entry, kVTKeyOwners, path + "/Owners", libraries_, "Libraries");
        }
    }

    // Depth-first over "Children": an edge back to a library still on the
    // path closes a cycle, and repairing removes that edge.
    void CheckCycles() {
        if (!libraries_) return;
        std::map<std::string, int> state; // 1 on the path, 2 done
        for (auto [id, value] : Entries(libraries_))
            Visit(id, state);
    }

    void Visit(CFStringRef id, std::map<std::string, int> &state) {
        std::string name = Text(id);
        if (state[name]) return;
        state[name] = 1;
        auto record = cf::Cast<CFDictionaryRef>(CFDictionaryGetValue(libraries_, id));
        auto children =
            record ? cf::Cast<CFArrayRef>(CFDictionaryGetValue(record, kVTKeyChildren)) : nullptr;
        for (CFIndex i = 0; children && i < CFArrayGetCount(children); ++i) {
            auto child = cf::Cast<CFStringRef>(CFArrayGetValueAtIndex(children, i));
            if (!child || !Contains(libraries_, child)) continue;
            int childState = state[Text(child)];
            if (childState == 1) {
                std::string path = "Libraries/" + name + "/Children/" + std::to_string(i);
                Report(path, "cycle: " + Text(child) + " is an ancestor of " + name);
                auto editable = mutable_ ? cf::CastMutable<CFMutableArrayRef>(children) : nullptr;
                if (editable) {
                    std::string what = "removed " + Text(child) + " to break a cycle";
                    CFArrayRemoveValueAtIndex(editable, i--);
                    Changed(path, what);
                }
            } else if (childState == 0) {
                Visit(child, state);
            }
        }
        state[name] = 2;
    }

    CFDictionaryRef document_ = nullptr;
    CFMutableDictionaryRef mutable_ = nullptr;
    CFDictionaryRef libraries_ = nullptr, files_ = nullptr, map_ = nullptr, properties_ = nullptr;
};

} // namespace

std::vector<Finding> CheckDocument(CFTypeRef document) {
    return Guard(std::vector<Finding>{{"", "out of memory"}}, [&] {
        Walk walk(document, false);
        walk.Run();
        return std::move(walk.findings);
    });
}

std::vector<std::string> RepairDocument(CFMutableDictionaryRef document) {
    return Guard(std::vector<std::string>{}, [&] {
        std::vector<std::string> changes;
        // A repair can uncover another fault (a dropped record leaves IDs that
        // named it dangling), so repair until a pass changes nothing.
        for (int pass = 0; pass < 8; ++pass) {
            Walk walk(document, true);
            walk.Run();
            if (walk.changes.empty()) break;
            changes.insert(changes.end(), walk.changes.begin(), walk.changes.end());
        }
        return changes;
    });
}

} // namespace vt::tool
