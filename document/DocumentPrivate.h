// The document store's internal interface: the held document and the
// top-level value access every table goes through.
#pragma once

#include <Vantrell/Document.h>

extern "C" {

// The document file's URL (borrowed), fixed at the first call that makes
// one: a relative name is resolved against the working directory of that
// moment. NULL, shown on standard error, when no URL can be made.
CFURLRef VTPrivate_DocumentGetURL(CFAllocatorRef allocator);

// The held document (borrowed), or NULL before one is created or loaded.
CFMutableDictionaryRef VTPrivate_DocumentGetDocument(void);

// Adopts the caller's reference to the document and releases the one held
// before (unless it is the same). NULL on success; for NULL or a value that
// is not a dictionary, a record (code -50), the reference staying with the
// caller and the held document unchanged.
CFMutableDictionaryRef VTPrivate_DocumentSetDocument(CFMutableDictionaryRef document);

// Creates the document, or completes the held one: each top-level key that
// is missing gets its initial value, present ones are kept. NULL on success,
// else a new record.
CFMutableDictionaryRef VTPrivate_DocumentCreate(CFAllocatorRef allocator);

// VantrellSaveDocument under its internal name.
CFMutableDictionaryRef VTPrivate_DocumentSave(CFAllocatorRef allocator);

// The held document's value under a top-level key (borrowed), or NULL.
CFTypeRef VTPrivate_DocumentValueGet(CFStringRef key);
// Stores the value itself (retained) under the key, replacing any other.
void VTPrivate_DocumentValueSet(CFStringRef key, CFTypeRef value);
// Stores the value only when the key is absent.
void VTPrivate_DocumentValueAdd(CFStringRef key, CFTypeRef value);
// The value under innerKey in the top-level dictionary under containerKey
// (borrowed), or NULL with a record in *outError when given.
CFTypeRef VTPrivate_DocumentContainerValueGet(CFStringRef containerKey, CFStringRef innerKey,
                                              CFMutableDictionaryRef *outError);
}
