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

// ---- Copies of the document file kept aside ---------------------------------
//
// Whatever the process is about to replace and did not write itself is copied
// beside the document first: an unreadable file before start-up's build, the
// version another process saved before this process's save.

#include "platform/files/FileSystem.h"

#include <string>

// The document file's path; "" when there is no document URL.
std::string VTPrivate_DocumentPath(CFAllocatorRef allocator);

// Copies the file at `path` to "<path><infix><UTC time as YYYYMMDDTHHMMSSZ>",
// or with "-2", "-3", ... added when that name is taken; an existing file is
// never replaced. 0 with the copy's path in `aside`, or the errno of the
// failed copy. `copied`, when given, receives the status of the file read.
int VTPrivate_DocumentCopyAside(const std::string &path, const char *infix, std::string &aside,
                                vt::platform::FileStatus *copied = nullptr);

// The record of a copy that could not be made, "<operation>: Can't copy
// <what> to <path> (<reason>); the document was left as it is.", with the
// errno's CFURL error code.
CFMutableDictionaryRef VTPrivate_DocumentCreateCopyError(CFAllocatorRef allocator,
                                                         const char *operation, int error,
                                                         const char *what, const std::string &path);

// Start-up's keeping of a document file that is there but could not be read:
// copied aside as "<document>.unreadable-<UTC time>" and reported. NULL when
// it was copied or there is nothing to copy; else a record, and the caller
// must leave the file alone.
CFMutableDictionaryRef VTPrivate_DocumentCopyUnreadableAside(CFAllocatorRef allocator);

// Tells the store that this version of the document file is safe to replace:
// the process read it, wrote it or copied it aside. A save that finds any
// other version on disk copies that one aside first.
void VTPrivate_DocumentRememberFile(const vt::platform::FileStatus &status);
