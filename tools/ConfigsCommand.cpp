// vantrell configs: the search configurations, and selecting, enabling and
// disabling one.
#include "tools/Session.h"

#include <Vantrell/Vantrell.h>

#include "platform/values/Cast.h"
#include "platform/values/Holder.h"

#include <cstdio>

namespace vt::tool {
namespace {

CFTypeRef ConfigurationValue(CFStringRef id, CFStringRef key) {
    return VTSearchConfigurationGetValue(nullptr, id, key, nullptr);
}

bool IsEnabled(CFStringRef id) {
    return ConfigurationValue(id, kVTKeyEnabled) == kCFBooleanTrue;
}

int List() {
    CFRef<CFMutableArrayRef> ids(VTDocumentCopySearchConfigurationIDs(nullptr, nullptr));
    CFStringRef selected = VTDocumentGetSearchConfigurationLastSelected();
    CFIndex count = ids ? CFArrayGetCount(ids.get()) : 0;
    if (Globals().json) std::printf("[");
    for (CFIndex i = 0; i < count; ++i) {
        auto id = cf::Cast<CFStringRef>(CFArrayGetValueAtIndex(ids.get(), i));
        if (!id) continue;
        bool isSelected = selected && CFStringCompare(id, selected, 0) == kCFCompareEqualTo;
        std::string title = DisplayValue(ConfigurationValue(id, kVTKeyTitle));
        CFTypeRef libraries = ConfigurationValue(id, kVTKeyLibraryIDs);
        if (Globals().json) {
            std::printf("%s{\"id\": %s, \"title\": %s, \"enabled\": %s, \"selected\": %s, "
                        "\"libraries\": %s}",
                        i ? ",\n " : "", JSONString(Text(id)).c_str(), JSONString(title).c_str(),
                        IsEnabled(id) ? "true" : "false", isSelected ? "true" : "false",
                        JSONValue(libraries).c_str());
        } else {
            std::printf("%s %s\t%s\t%s\t%s\n", isSelected ? "*" : " ", Text(id).c_str(),
                        title.c_str(), IsEnabled(id) ? "enabled" : "disabled",
                        JSONValue(libraries).c_str());
        }
    }
    if (Globals().json) std::printf("]\n");
    return kExitSuccess;
}

int Show(CFStringRef id) {
    static const CFStringRef *const kKeys[] = {&kVTKeyTitle, &kVTKeyEnabled,    &kVTKeyUUID,
                                               &kVTKeyKind,  &kVTKeyLibraryIDs, &kVTKeyInherits};
    if (Globals().json) std::printf("{");
    bool first = true;
    for (const CFStringRef *key : kKeys) {
        CFTypeRef value = ConfigurationValue(id, *key);
        if (!value) continue;
        if (Globals().json)
            std::printf("%s%s: %s", first ? "" : ", ", JSONString(Text(*key)).c_str(),
                        JSONValue(value).c_str());
        else
            std::printf("%s: %s\n", Text(*key).c_str(), DisplayValue(value).c_str());
        first = false;
    }
    if (Globals().json) std::printf("}\n");
    return kExitSuccess;
}

int RunConfigs(Arguments args) {
    ParsedArguments parsed;
    if (int status =
            ParseArguments(kConfigsCommand, "vantrell configs", args, {}, {}, 0, 2, parsed))
        return status;
    if (parsed.operands.size() == 1)
        return CommandUsageError(kConfigsCommand, "vantrell configs", "missing argument");
    std::string action = parsed.operands.empty() ? "" : parsed.operands[0];
    if (!action.empty() && action != "show" && action != "select" && action != "enable" &&
        action != "disable")
        return CommandUsageError(kConfigsCommand, "vantrell configs",
                                 "unknown action '" + action + "'");
    if (!LoadCurrentDocument()) return kExitFailure;
    if (action.empty()) return List();
    const std::string &name = parsed.operands[1];
    CFRef<CFStringRef> id(CreateString(name));
    if (!ConfigurationValue(id.get(), kVTKeyKind) && !ConfigurationValue(id.get(), kVTKeyTitle))
        return Fail(name, "no search configuration has this ID");
    if (action == "show") return Show(id.get());
    CFRef<CFMutableDictionaryRef> error;
    if (action == "select") {
        CFStringRef selected = VTDocumentGetSearchConfigurationLastSelected();
        if (selected && CFStringCompare(selected, id.get(), 0) == kCFCompareEqualTo) {
            std::printf("%s is already selected\n", name.c_str());
            return kExitSuccess;
        }
        error.Reset(VTDocumentSetSearchConfigurationLastSelected(nullptr, id.get()));
    } else {
        bool enable = action == "enable";
        if (IsEnabled(id.get()) == enable) {
            std::printf("%s is already %s\n", name.c_str(), enable ? "enabled" : "disabled");
            return kExitSuccess;
        }
        error.Reset(VTSearchConfigurationSetValue(nullptr, id.get(), kVTKeyEnabled,
                                                  enable ? kCFBooleanTrue : kCFBooleanFalse));
    }
    if (error) return Fail(name, ErrorText(error.get()));
    if (!SaveDocument()) return kExitFailure;
    std::printf("%s %s\n",
                action == "select"   ? "selected"
                : action == "enable" ? "enabled"
                                     : "disabled",
                name.c_str());
    return kExitSuccess;
}

} // namespace

extern const Command kConfigsCommand = {
    .name = "configs",
    .summary = "List, show, select, enable or disable search configurations",
    .usage = "[--json] [show|select|enable|disable ID]",
    .help = "Without an action, lists the search configurations (the last selected one\n"
            "marked '*'). 'show' prints one; 'select' makes it the last selected one;\n"
            "'enable' and 'disable' switch it on and off.\n"
            "\n"
            "Example: vantrell configs disable info.module.search.configuration.id.network\n",
    .run = RunConfigs,
    .ownOptions = true,
};

} // namespace vt::tool
