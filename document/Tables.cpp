// Typed access to the held document's tables (see Tables.h).
#include "document/Tables.h"

#include "document/DocumentPrivate.h"
#include "platform/values/Holder.h"

namespace vt::doc {

namespace {

// Replaces an immutable container under `key` by a mutable copy of it; the
// copy's own values are shared, and each is made editable in turn when an
// edit reaches it.
template <class Mutable, class Immutable, class MakeCopy>
Mutable EditableValue(CFMutableDictionaryRef dictionary, CFStringRef key, MakeCopy makeCopy) {
    if (!dictionary || !key) return nullptr;
    CFTypeRef value = CFDictionaryGetValue(dictionary, key);
    if (Mutable editable = cf::CastMutable<Mutable>(value)) return editable;
    Immutable fixed = cf::Cast<Immutable>(value);
    if (!fixed) return nullptr;
    CFRef<Mutable> copy(makeCopy(CFGetAllocator(dictionary), fixed));
    if (!copy) return nullptr;
    CFDictionarySetValue(dictionary, key, copy.get());
    return copy.get();
}

} // namespace

CFMutableDictionaryRef GetMutableDictionary(CFMutableDictionaryRef dictionary, CFStringRef key) {
    return EditableValue<CFMutableDictionaryRef, CFDictionaryRef>(
        dictionary, key, [](CFAllocatorRef allocator, CFDictionaryRef fixed) {
            return CFDictionaryCreateMutableCopy(allocator, 0, fixed);
        });
}

CFMutableArrayRef GetMutableArray(CFMutableDictionaryRef dictionary, CFStringRef key) {
    return EditableValue<CFMutableArrayRef, CFArrayRef>(
        dictionary, key, [](CFAllocatorRef allocator, CFArrayRef fixed) {
            return CFArrayCreateMutableCopy(allocator, 0, fixed);
        });
}

CFMutableDictionaryRef Table(CFStringRef name) {
    return GetMutableDictionary(VTPrivate_DocumentGetDocument(), name);
}

CFMutableDictionaryRef TableGetMutableDictionary(CFStringRef name, CFStringRef key) {
    return GetMutableDictionary(Table(name), key);
}

void Set(CFMutableDictionaryRef dictionary, CFStringRef key, CFTypeRef value) {
    if (dictionary && key && value) CFDictionarySetValue(dictionary, key, value);
}

CFPropertyListRef CreateStorableCopy(CFAllocatorRef allocator, CFTypeRef value) {
    if (!value || !CFPropertyListIsValid(value, kCFPropertyListXMLFormat_v1_0)) return nullptr;
    return CFPropertyListCreateDeepCopy(allocator, value, kCFPropertyListMutableContainers);
}

CFStringRef CreateStoredString(CFAllocatorRef allocator, CFTypeRef string) {
    CFStringRef text = cf::Cast<CFStringRef>(string);
    return text ? CFStringCreateCopy(allocator, text) : nullptr;
}

} // namespace vt::doc
