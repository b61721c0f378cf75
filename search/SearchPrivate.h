// The search-configuration subsystem's internal interface: its table and
// description store, the reserved descriptions start-up prepares, and the
// reserved-ID list.
#pragma once

#include <Vantrell/Search.h>

extern "C" {

// The document's SearchConfigurations table (borrowed), or NULL, shown on
// standard error, when there is no document or no dictionary there.
CFMutableDictionaryRef VTPrivate_SearchConfigurationsGet(CFAllocatorRef allocator);

// The process-wide description store (borrowed), made on first use; NULL,
// shown on standard error, when it cannot be made (the next call tries again).
CFMutableDictionaryRef
VTPrivate_SearchConfigurationDescriptionsStorageGet(CFAllocatorRef allocator);

// Puts fresh descriptions of the three reserved configurations in the store;
// the network one is disabled when the network domain has no Modules folder.
// NULL on success, else a new record the caller releases.
CFMutableDictionaryRef
VTPrivate_SearchConfigurationDescriptionsInitialize(CFAllocatorRef allocator);

// Builds the reserved-ID list (user, local, network) once; later calls change
// nothing. NULL on success, else a new record the caller releases.
CFMutableDictionaryRef VTPrivate_SearchConfigurationInitializeReservedIDs(CFAllocatorRef allocator);

// The reserved-ID list (borrowed), or NULL before it is built.
CFArrayRef VTPrivate_SearchConfigurationGetReservedIDs(void);
}
