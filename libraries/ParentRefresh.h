// A switch for passes that register many children of one library.
//
// Registering a child refreshes the folder listing held in its parent's
// folder file entry, which lists the whole parent folder. A pass that adds a
// thousand children of one parent would list that folder a thousand times;
// it suspends the refresh instead and refreshes once at the end, which leaves
// the same state.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

extern "C" {

// While suspended, VTDocumentRegisterLibrary leaves the parent's folder file
// entry as it is. Not nested: the caller restores the previous setting.
void VTPrivate_LibrarySetParentRefreshSuspended(Boolean suspended);
Boolean VTPrivate_LibraryParentRefreshSuspended(void);
}
