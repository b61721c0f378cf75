// The layer's own folder look-up, behind the exported FSFindFolder.
//
// The function-by-name table refers to BuiltinFindFolder, never to the
// FSFindFolder symbol, so a program that links the static library and defines
// its own FSFindFolder does not pull in FindFolder.cpp's definition.
#pragma once

#include <CoreServices/CoreServices.h>

namespace vt::platform {

// The existing Scripts folder of the domain, never created: user
// "$HOME/Library/Scripts", local "/Library/Scripts", network
// "/Network/Library/Scripts". fnfErr when it does not exist (or is not a
// folder); paramErr for another domain or folder type, or a NULL foundRef.
OSErr BuiltinFindFolder(SInt16 domain, OSType folderType, Boolean createFolder, FSRef *foundRef);

} // namespace vt::platform
