/*
 * CoreServices.h: file-system references, the folder look-up, memory handles
 * and alias records.
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
    nilHandleErr = -109,
    /* FSResolveAlias: the handle holds no alias record of this layer (wrong
     * magic or version, truncated, oversized or inconsistent), so no volume
     * or item can be identified from it. */
    nsvErr = -35,
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

/* Memory handles: a relocatable block reached through its master pointer,
 * *handle. Only blocks from NewHandle may be passed to the other two. */
typedef long Size;
typedef char *Ptr;
typedef Ptr *Handle;

/* A zero-filled block of byteCount bytes (0 allowed), or NULL when memory
 * runs out or byteCount is negative. */
CF_EXPORT Handle NewHandle(Size byteCount);
/* Frees the block; NULL does nothing. */
CF_EXPORT void DisposeHandle(Handle h);
/* The block's size in bytes; 0 for NULL or a handle NewHandle did not make. */
CF_EXPORT Size GetHandleSize(Handle h);

/* Alias records: an opaque record of an item's absolute path and identity
 * (device and inode), kept in a handle. It resolves to the item while the
 * same item is at that path; removing or replacing it makes resolution fail
 * with fnfErr. */
typedef struct AliasRecord AliasRecord;
typedef AliasRecord *AliasPtr;
typedef AliasPtr *AliasHandle;

/* True when the reference is valid and its item still exists with the
 * identity it had when the reference was made. */
CF_EXPORT Boolean FSIsFSRefValid(const FSRef *ref);
/* A new alias record of the target in *inAlias (release it with
 * DisposeHandle). The record always holds the absolute path: fromFile is
 * accepted and ignored. paramErr for NULL target or inAlias or an invalid
 * reference, fnfErr once the target is gone or replaced, memFullErr when
 * memory runs out; *inAlias is NULL on failure. */
CF_EXPORT OSErr FSNewAlias(const FSRef *fromFile, const FSRef *target, AliasHandle *inAlias);
/* The record's size in bytes as stored in it; 0 for NULL or a handle that
 * holds no alias record. */
CF_EXPORT Size GetAliasSize(AliasHandle alias);
/* Resolves the record to a reference of its item. fromFile is ignored;
 * *wasChanged (optional) is always false, since the record never needs
 * updating. paramErr for NULL alias or target, nsvErr for a handle that holds
 * no alias record, fnfErr when the path holds nothing or another item. */
CF_EXPORT OSErr FSResolveAlias(const FSRef *fromFile, AliasHandle alias, FSRef *target,
                               Boolean *wasChanged);

CF_EXTERN_C_END

#endif /* VANTRELL_CORE_SERVICES_H */
