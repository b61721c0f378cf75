// Property-list reader: any bytes either give a value or fail with a line and
// column. An accepted value written back with the XML writer reads back equal,
// and writing that copy again gives the very same bytes (the writer's form is
// canonical). The writer may refuse only what XML cannot carry: strings with
// control characters or the non-characters U+FFFE/U+FFFF, and dates outside
// years 0000-9999.
#include "fuzz/FuzzSupport.h"

#include "platform/plist/CivilDate.h"
#include "platform/plist/PropertyListInternal.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"

#include <cmath>
#include <vector>

namespace {

using vt::CFRef;
namespace cf = vt::cf;
namespace plist = vt::plist;

bool IsUnwritableString(CFStringRef string) {
    CFIndex length = CFStringGetLength(string);
    std::vector<UniChar> units(static_cast<size_t>(length));
    CFStringGetCharacters(string, CFRangeMake(0, length), units.data());
    for (UniChar c : units)
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF)
            return true;
    return false;
}

bool IsUnwritableDate(CFDateRef date) {
    constexpr double kFirst =
        double(plist::DaysFromCivil({0, 1, 1}) * plist::kSecondsPerDay - plist::kUnixToAbsolute);
    constexpr double kEnd = double(plist::DaysFromCivil({10000, 1, 1}) * plist::kSecondsPerDay -
                                   plist::kUnixToAbsolute);
    double whole = std::floor(CFDateGetAbsoluteTime(date));
    return !(whole >= kFirst && whole < kEnd);
}

// True when the value holds something the writer refuses for a stated
// reason. Iterative: the reader takes nesting of any depth.
bool HoldsUnwritable(CFTypeRef root) {
    std::vector<CFTypeRef> pending{root};
    while (!pending.empty()) {
        CFTypeRef value = pending.back();
        pending.pop_back();
        if (auto string = cf::Cast<CFStringRef>(value)) {
            if (IsUnwritableString(string)) return true;
        } else if (auto date = cf::Cast<CFDateRef>(value)) {
            if (IsUnwritableDate(date)) return true;
        } else if (auto array = cf::Cast<CFArrayRef>(value)) {
            for (CFIndex i = 0; i < CFArrayGetCount(array); ++i)
                pending.push_back(CFArrayGetValueAtIndex(array, i));
        } else if (auto dictionary = cf::Cast<CFDictionaryRef>(value)) {
            CFIndex count = CFDictionaryGetCount(dictionary);
            std::vector<const void *> keys(static_cast<size_t>(count)),
                values(static_cast<size_t>(count));
            CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
            pending.insert(pending.end(), keys.begin(), keys.end());
            pending.insert(pending.end(), values.begin(), values.end());
        }
    }
    return false;
}

std::string Text(const uint8_t *data, size_t size) {
    return std::string(reinterpret_cast<const char *>(data), size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    plist::ParseError error;
    CFRef<CFPropertyListRef> value(
        plist::CreateFromXMLBytes(nullptr, data, size, kCFPropertyListImmutable, &error));
    if (!value) {
        if (error.line < 1 || error.column < 1 || error.message.empty())
            vt::fuzz::Fail("a refused input has no line, column and message",
                           plist::Describe(error));
        return 0;
    }

    // The mutable form holds the same value.
    plist::ParseError mutableError;
    CFRef<CFPropertyListRef> editable(plist::CreateFromXMLBytes(
        nullptr, data, size, kCFPropertyListMutableContainersAndLeaves, &mutableError));
    if (!editable || !CFEqual(value.get(), editable.get()))
        vt::fuzz::Fail("the mutable read differs from the immutable one",
                       Text(data, size) + "\n" + plist::Describe(mutableError));

    std::string xml;
    if (!plist::AppendXML(value.get(), xml)) {
        if (!HoldsUnwritable(value.get()))
            vt::fuzz::Fail("the writer refused a writable value", Text(data, size));
        return 0;
    }
    plist::ParseError again;
    CFRef<CFPropertyListRef> reread(plist::CreateFromXMLBytes(nullptr, xml.data(), xml.size(),
                                                              kCFPropertyListImmutable, &again));
    if (!reread)
        vt::fuzz::Fail("the written document does not read back",
                       xml + "\n" + plist::Describe(again));
    if (!CFEqual(value.get(), reread.get()))
        vt::fuzz::Fail("the written document reads back a different value",
                       "input:\n" + Text(data, size) + "\nwritten:\n" + xml);
    std::string rewritten;
    if (!plist::AppendXML(reread.get(), rewritten) || rewritten != xml)
        vt::fuzz::Fail("writing the value read back gives other bytes",
                       "first:\n" + xml + "\nsecond:\n" + rewritten);
    return 0;
}
