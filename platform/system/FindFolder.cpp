// The exported folder look-up. It sits alone in this file so that a program
// defining its own FSFindFolder can still link the static library.
#include "platform/system/FindFolderInternal.h"

OSErr FSFindFolder(SInt16 vRefNum, OSType folderType, Boolean createFolder, FSRef *foundRef) {
    return vt::platform::BuiltinFindFolder(vRefNum, folderType, createFolder, foundRef);
}
