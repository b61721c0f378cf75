// Small helpers shared by the value-type tests.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>

#include "platform/values/Holder.h"

namespace vt::test {

inline CFRef<CFNumberRef> Num(long value) {
    return CFRef<CFNumberRef>(CFNumberCreate(nullptr, kCFNumberLongType, &value));
}

inline long LongOf(const void *number) {
    long value = -1;
    CFNumberGetValue(static_cast<CFNumberRef>(number), kCFNumberLongType, &value);
    return value;
}

inline std::string Text(CFStringRef str) {
    char buffer[1024] = {};
    if (str) CFStringGetCString(str, buffer, sizeof buffer, kCFStringEncodingUTF8);
    return buffer;
}

inline std::string Describe(CFTypeRef cf) {
    return Text(CFRef<CFStringRef>(CFCopyDescription(cf)).get());
}

} // namespace vt::test
