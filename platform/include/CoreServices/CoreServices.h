/*
 * CoreServices.h: file-system references and the folder look-up.
 *
 * An FSRef identifies an existing file or folder for as long as it exists.
 */
#ifndef VANTRELL_CORE_SERVICES_H
#define VANTRELL_CORE_SERVICES_H

#include <CoreFoundation/CoreFoundation.h>

CF_EXTERN_C_BEGIN

enum {
    paramErr = -50,
    fnfErr = -43,
    dirNFErr = -120,
    permErr = -54,
    ioErr = -36,
    memFullErr = -108,
};

/* Opaque. It names the item's canonical path and records the item's identity
 * (device and inode): once the item is removed or replaced, resolving the
 * reference fails with fnfErr. A zeroed or damaged reference is refused with
 * paramErr. References are valid only within the process that made them. */
typedef struct FSRef {
    UInt8 hidden[80];
} FSRef;
typedef FSRef *FSRefPtr;

/* Domains for FSFindFolder. */
enum {
    kSystemDomain = -32766,
    kLocalDomain = -32765,
    kNetworkDomain = -32764,
    kUserDomain = -32763,
};

/* 's' 'c' 'r' 0xC4 */
enum { kScriptsFolderType = 0x736372C4u };
enum { kCreateFolder = 1, kDontCreateFolder = 0 };

/* The folder of the given type in the domain. The built-in answers with each
 * domain's existing Scripts folder: user "$HOME/Library/Scripts", local
 * "/Library/Scripts", network "/Network/Library/Scripts"; fnfErr when it does
 * not exist. A host or test may define its own FSFindFolder, which then
 * replaces the built-in for look-ups by name. */
CF_EXPORT OSErr FSFindFolder(SInt16 vRefNum, OSType folderType, Boolean createFolder,
                             FSRef *foundRef);

/* An FSRef for the existing file or folder at the POSIX path (symbolic links
 * followed); fnfErr when nothing exists there, permErr when the path cannot be
 * searched, paramErr for NULL arguments. isDirectory (optional) says whether
 * it is a folder. */
CF_EXPORT OSStatus FSPathMakeRef(const UInt8 *path, FSRef *ref, Boolean *isDirectory);
/* The canonical absolute POSIX path of the reference's item; fnfErr once the
 * item is gone or replaced, paramErr for an invalid reference or a buffer too
 * small for the path and its NUL. */
CF_EXPORT OSStatus FSRefMakePath(const FSRef *ref, UInt8 *path, UInt32 pathBufferSize);

CF_EXTERN_C_END

#endif /* VANTRELL_CORE_SERVICES_H */
