// Typed access to the held document's tables.
//
// Every table subsystem reaches the document through these functions and
// never casts a document value by hand. A value of the wrong type counts as
// absent, so a hand-edited or foreign document cannot crash a table. The
// containers handed out for editing are always mutable: an immutable one
// found in the document (stored by a host, or built before it was stored) is
// replaced by a mutable copy first, so an edit is never swallowed.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include "platform/values/Cast.h"

namespace vt::doc {

// The top-level table under `name` as a mutable dictionary (borrowed from the
// held document), or NULL when there is no document or no dictionary there.
CFMutableDictionaryRef Table(CFStringRef name);

// The value under `key` as a T (borrowed), or NULL when the dictionary or the
// key is NULL, the key is absent, or the value is of another type.
template <class T>
T Get(CFDictionaryRef dictionary, CFStringRef key) {
    if (!dictionary || !key) return nullptr;
    return cf::Cast<T>(CFDictionaryGetValue(dictionary, key));
}

// The entry under `key` of the table `name` as a T (borrowed), or NULL.
template <class T>
T TableGet(CFStringRef name, CFStringRef key) {
    return Get<T>(Table(name), key);
}

// The dictionary or array under `key`, made editable: an immutable one is
// replaced in `dictionary` by a mutable copy (one level deep) first. NULL when
// absent, of another type, or when the copy cannot be made.
CFMutableDictionaryRef GetMutableDictionary(CFMutableDictionaryRef dictionary, CFStringRef key);
CFMutableArrayRef GetMutableArray(CFMutableDictionaryRef dictionary, CFStringRef key);

// The entry under `key` of the table `name`, made editable as above.
CFMutableDictionaryRef TableGetMutableDictionary(CFStringRef name, CFStringRef key);

// Stores `value` under `key` (replacing any other value); does nothing when
// an argument is NULL.
void Set(CFMutableDictionaryRef dictionary, CFStringRef key, CFTypeRef value);

// A copy of a host's value fit to be stored in the document, which the
// framework may later edit in place: containers become mutable, strings and
// other leaves become immutable copies (so a host that changes its own
// mutable string later does not change the document). NULL when the value
// cannot be written as an XML property list (a URL, a null, a dictionary with
// non-string keys, a cycle). The caller releases the copy.
CFPropertyListRef CreateStorableCopy(CFAllocatorRef allocator, CFTypeRef value);

// An immutable copy of a string the framework stores as an ID, a title or a
// parent; retaining when it is already immutable. NULL for a non-string.
CFStringRef CreateStoredString(CFAllocatorRef allocator, CFTypeRef string);

} // namespace vt::doc
