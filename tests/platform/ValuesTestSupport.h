// Small helpers shared by the value-type tests.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>

#include "platform/values/Holder.h"
#include "support/TestSupport.h"

namespace vt::test {

inline CFRef<CFNumberRef> Num(long value) {
    return CFRef<CFNumberRef>(CFNumberCreate(nullptr, kCFNumberLongType, &value));
}

inline long LongOf(const void *number) {
    long value = -1;
    CFNumberGetValue(static_cast<CFNumberRef>(number), kCFNumberLongType, &value);
    return value;
}

inline std::string Describe(CFTypeRef cf) {
    return StringOf(CFRef<CFStringRef>(CFCopyDescription(cf)).get());
}

} // namespace vt::test
