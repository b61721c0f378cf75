/*
 * Tables.h: the URL map, file entries and property sets.
 *
 * A file ID is the map ID of a registered file or folder URL; a property ID
 * names a library's property set (its record's "PropertyID"). Values returned
 * by the getters are borrowed from the held document and stay valid until
 * their entry changes.
 */
#ifndef VANTRELL_TABLES_H
#define VANTRELL_TABLES_H

#include <Vantrell/Base.h>

VT_EXTERN_C_BEGIN

/* The value of one resource property of the URL (kCFURLFileExists,
 * kCFURLFileDirectoryContents, ...), new (the caller releases it), or NULL.
 * A non-zero platform status is stored as a record (the status as code,
 * "VTU_URLCopyFileInfo" as description) through outError when given. */
VT_EXPORT CFTypeRef VTU_URLCopyFileInfo(CFAllocatorRef allocator, CFURLRef url,
                                        CFStringRef propertyKey, CFMutableDictionaryRef *outError);

/* The value under the key in the file entry (borrowed), or NULL; a record
 * (the caller releases it) through outError when given and the ID or key is
 * missing or there is no such file entry. */
VT_EXPORT CFTypeRef VTFileGetValue(CFAllocatorRef allocator, CFStringRef fileID, CFStringRef key,
                                   CFMutableDictionaryRef *outError);

/* Stores a copy of the value under the key in the file entry. Returns NULL on
 * success, else a new error record (the caller releases it): a missing
 * argument, a value that cannot be written to the document, or no such file
 * entry. */
VT_EXPORT CFMutableDictionaryRef VTFileSetValue(CFAllocatorRef allocator, CFStringRef fileID,
                                                CFStringRef key, CFTypeRef value);

/* The URL text the map holds for the file ID (a string borrowed from the
 * document, not a URL), or NULL. */
VT_EXPORT CFStringRef VTFileGetURL(CFStringRef fileID);

/* The value under the key in the property set (borrowed), or NULL; a record
 * (the caller releases it) through outError when given and the ID or key is
 * missing or the Properties table is missing. */
VT_EXPORT CFTypeRef VTPropertyGetValue(CFAllocatorRef allocator, CFStringRef propertyID,
                                       CFStringRef key, CFMutableDictionaryRef *outError);

/* Stores a copy of the value under the key in the property set. Returns NULL
 * on success, else a new error record (the caller releases it): a missing
 * argument, a value that cannot be written to the document, or no such set. */
VT_EXPORT CFMutableDictionaryRef VTPropertySetValue(CFAllocatorRef allocator,
                                                    CFStringRef propertyID, CFStringRef key,
                                                    CFTypeRef value);

VT_EXTERN_C_END

#endif /* VANTRELL_TABLES_H */
