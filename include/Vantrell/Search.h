/*
 * Search.h: search configurations.
 *
 * A search configuration is a named, ordered list of library IDs kept in the
 * document's "SearchConfigurations" table under its configuration ID. It is
 * first built as a description in a process-wide store; registering it moves
 * that very dictionary into the table. Three reserved configurations (user;
 * user and local; user, local and network) come with every document.
 *
 * A configuration holds "Title", "Enabled", "UUID" (its ID), "Kind"
 * ("SearchConfiguration"), "Inherits" and "LibraryIDs", plus whatever keys
 * the host adds. The framework's own keys have fixed types: "Title", "UUID"
 * and "Kind" are strings, "LibraryIDs" and "Inherits" arrays, "Enabled" a
 * boolean. A value of another type under one of them (a hand-edited
 * document, say) reads as absent, and the setters refuse one like a missing
 * value. An ID or key that is not a string counts as missing.
 *
 * Every record returned or stored through an error out-argument belongs to
 * the caller, who releases it.
 */
#ifndef VANTRELL_SEARCH_H
#define VANTRELL_SEARCH_H

#include <Vantrell/Base.h>

VT_EXTERN_C_BEGIN

/* "LibraryIDs": the ordered library IDs of a configuration (both names). */
VT_EXPORT const CFStringRef kVTKeyLibraryIDs;
VT_EXPORT const CFStringRef kVTKeySearchConfigurationLibraryIDs;

/* The reserved configurations' IDs and default titles. */
VT_EXPORT const CFStringRef
    kVTSearchConfigurationIDUser; /* "info.module.search.configuration.id.user" */
VT_EXPORT const CFStringRef
    kVTSearchConfigurationIDLocal; /* "info.module.search.configuration.id.local" */
VT_EXPORT const CFStringRef
    kVTSearchConfigurationIDNetwork; /* "info.module.search.configuration.id.network" */
VT_EXPORT const CFStringRef kVTSearchConfigurationDefaultTitleUser;    /* "UserConfiguration" */
VT_EXPORT const CFStringRef kVTSearchConfigurationDefaultTitleLocal;   /* "LocalConfiguration" */
VT_EXPORT const CFStringRef kVTSearchConfigurationDefaultTitleNetwork; /* "NetworkConfiguration" */

/* Puts a new description in the store under configurationID, replacing any
 * description there: the title itself, "Enabled" true, an empty "Inherits"
 * and a copy of the library IDs (strings only; NULL gives an empty list).
 * Returns NULL on success, else a new record the caller releases. */
VT_EXPORT CFMutableDictionaryRef VTSearchConfigurationDescriptionCreate(CFAllocatorRef allocator,
                                                                        CFStringRef title,
                                                                        CFStringRef configurationID,
                                                                        CFArrayRef libraryIDs);

/* The value under key in the stored (not yet registered) description
 * (borrowed), or NULL; a missing description or key gives no record, a
 * missing argument or store one in *outError when given (caller releases). */
VT_EXPORT CFTypeRef VTSearchConfigurationDescriptionGetValue(CFAllocatorRef allocator,
                                                             CFStringRef configurationID,
                                                             CFStringRef key,
                                                             CFMutableDictionaryRef *outError);

/* Stores a copy of value under key in the stored description. Returns NULL on
 * success, else a new record the caller releases: -50 for a missing argument
 * or a value that cannot be written to the document. */
VT_EXPORT CFMutableDictionaryRef VTSearchConfigurationDescriptionSetValue(
    CFAllocatorRef allocator, CFStringRef configurationID, CFStringRef key, CFTypeRef value);

/* Moves the description stored under configurationID into the document's
 * table, replacing any configuration registered under it. Returns NULL on
 * success, else a new record the caller releases. */
VT_EXPORT CFMutableDictionaryRef VTDocumentRegisterSearchConfiguration(CFAllocatorRef allocator,
                                                                       CFStringRef configurationID);

/* The value under key in the registered configuration (borrowed, valid until
 * the table changes), or NULL; an absent configuration or key gives no
 * record, a missing argument or table one in *outError when given (caller
 * releases). */
VT_EXPORT CFTypeRef VTSearchConfigurationGetValue(CFAllocatorRef allocator,
                                                  CFStringRef configurationID, CFStringRef key,
                                                  CFMutableDictionaryRef *outError);

/* Stores a copy of value under key in the registered configuration. Returns
 * NULL on success, else a new record the caller releases, also when no
 * configuration is registered under the ID (nothing is stored then). */
VT_EXPORT CFMutableDictionaryRef VTSearchConfigurationSetValue(CFAllocatorRef allocator,
                                                               CFStringRef configurationID,
                                                               CFStringRef key, CFTypeRef value);

/* Removes the configuration (an unknown ID changes nothing); when it was the
 * last-selected one, the user configuration becomes last-selected. Returns
 * NULL on success, else a new record the caller releases. */
VT_EXPORT CFMutableDictionaryRef VTDocumentRemoveSearchConfiguration(CFAllocatorRef allocator,
                                                                     CFStringRef configurationID);

/* A new mutable array of the registered configuration IDs in the table's
 * order (the caller releases it), or NULL with a record in *outError when
 * given (caller releases). */
VT_EXPORT CFMutableArrayRef VTDocumentCopySearchConfigurationIDs(CFAllocatorRef allocator,
                                                                 CFMutableDictionaryRef *outError);

/* The last-selected configuration ID (borrowed), or NULL. */
VT_EXPORT CFStringRef VTDocumentGetSearchConfigurationLastSelected(void);

/* Stores a copy of the ID as the last-selected configuration; it need not be
 * registered. Returns NULL on success, else a new record the caller
 * releases. */
VT_EXPORT CFMutableDictionaryRef
VTDocumentSetSearchConfigurationLastSelected(CFAllocatorRef allocator, CFStringRef configurationID);

VT_EXTERN_C_END

#endif /* VANTRELL_SEARCH_H */
