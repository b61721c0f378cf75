// Checked casts from CFTypeRef to a value type.
//
// Cast<CFStringRef>(value) is the value as a string, or NULL when it is NULL
// or of another type. CastMutable<CFMutableArrayRef>(value) also answers NULL
// for an immutable array: code that edits a container in place must never
// write into one that cannot take the edit. Every cast from CFTypeRef outside
// the value layer goes through these two.
#pragma once

#include "platform/values/Runtime.h"

#include <type_traits>

namespace vt::cf {

bool ArrayIsMutable(CFTypeRef cf);
bool DictionaryIsMutable(CFTypeRef cf);
bool DataIsMutable(CFTypeRef cf);
bool StringIsMutable(CFTypeRef cf);

template <class T>
struct CastTraits;

#define VT_CAST_TRAITS(Ref, type, mutableCheck)                                                    \
    template <>                                                                                    \
    struct CastTraits<Ref> {                                                                       \
        static constexpr CFTypeID kTypeID = type;                                                  \
        static bool IsMutable(CFTypeRef cf) { return mutableCheck(cf); }                           \
    }

VT_CAST_TRAITS(CFStringRef, kTypeIDString, StringIsMutable);
VT_CAST_TRAITS(CFMutableStringRef, kTypeIDString, StringIsMutable);
VT_CAST_TRAITS(CFArrayRef, kTypeIDArray, ArrayIsMutable);
VT_CAST_TRAITS(CFMutableArrayRef, kTypeIDArray, ArrayIsMutable);
VT_CAST_TRAITS(CFDictionaryRef, kTypeIDDictionary, DictionaryIsMutable);
VT_CAST_TRAITS(CFMutableDictionaryRef, kTypeIDDictionary, DictionaryIsMutable);
VT_CAST_TRAITS(CFDataRef, kTypeIDData, DataIsMutable);
VT_CAST_TRAITS(CFMutableDataRef, kTypeIDData, DataIsMutable);
VT_CAST_TRAITS(CFNumberRef, kTypeIDNumber, [](CFTypeRef) { return false; });
VT_CAST_TRAITS(CFBooleanRef, kTypeIDBoolean, [](CFTypeRef) { return false; });
VT_CAST_TRAITS(CFDateRef, kTypeIDDate, [](CFTypeRef) { return false; });
VT_CAST_TRAITS(CFUUIDRef, kTypeIDUUID, [](CFTypeRef) { return false; });
VT_CAST_TRAITS(CFURLRef, kTypeIDURL, [](CFTypeRef) { return false; });
VT_CAST_TRAITS(CFBundleRef, kTypeIDBundle, [](CFTypeRef) { return false; });

#undef VT_CAST_TRAITS

// The value as T when it is non-null and of T's type, else NULL.
template <class T>
inline T Cast(CFTypeRef cf) {
    if (TypeOf(cf) != CastTraits<T>::kTypeID) return nullptr;
    return static_cast<T>(const_cast<void *>(cf));
}

// The value as the mutable type T when it is of T's type and mutable, else
// NULL.
template <class T>
inline T CastMutable(CFTypeRef cf) {
    T value = Cast<T>(cf);
    return value && CastTraits<T>::IsMutable(value) ? value : nullptr;
}

} // namespace vt::cf
