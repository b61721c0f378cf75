/*
 * ApplicationServices.h: event descriptors.
 *
 * A descriptor is a type code plus an opaque block of data that the layer
 * owns. Descriptors are plain structs the caller keeps; whatever a create or
 * coerce call fills must be freed with AEDisposeDesc.
 */
#ifndef VANTRELL_APPLICATION_SERVICES_H
#define VANTRELL_APPLICATION_SERVICES_H

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>

CF_EXTERN_C_BEGIN

/* Four characters stored from the most significant byte down. */
typedef FourCharCode DescType;

typedef struct OpaqueAEDataStorage *AEDataStorage;

typedef struct AEDesc {
    DescType descriptorType;
    AEDataStorage dataHandle; /* NULL when the descriptor holds no bytes */
} AEDesc;

enum {
    typeBoolean = 0x626F6F6C,     /* 'bool': one byte, 1 or 0 */
    typeUTF8Text = 0x75746638,    /* 'utf8': UTF-8 bytes, no terminating NUL */
    typeUnicodeText = 0x75747874, /* 'utxt': UTF-16 in native byte order, no BOM */
    typeData = 0x64617461,        /* 'data': raw bytes */
    typeFSRef = 0x66737266,       /* 'fsrf': an 80-byte FSRef */
    typeAlias = 0x616C6973,       /* 'alis': an alias record (CoreServices.h) */
    typeURL = 0x75726C20,         /* 'url ': a URL's text in UTF-8 */
    typeNull = 0x6E756C6C,        /* 'null': the empty descriptor, no data */
};

enum {
    errAECoercionFail = -1700, /* no coercion between the two types, or the data do not convert */
};

/* Sets the descriptor to the null descriptor (typeNull, no data) without
 * freeing anything it held. */
CF_EXPORT void AEInitializeDesc(AEDesc *desc);

/* A new descriptor of the type holding a copy of the bytes. paramErr for a
 * NULL result, a negative size, or NULL data with a non-zero size;
 * memFullErr when memory runs out. On failure *result is the null
 * descriptor. */
CF_EXPORT OSErr AECreateDesc(DescType typeCode, const void *dataPtr, Size dataSize, AEDesc *result);

/* A new descriptor of toType converted from theAEDesc. Converts to the same type (a copy),
 * typeUTF8Text to typeUnicodeText and to typeURL, and typeFSRef to typeAlias. errAECoercionFail for
 * any other pair or for data that do not convert (invalid UTF-8, not 80 bytes of FSRef);
 * FSNewAlias's status when it fails on the reference; paramErr for NULL
 * arguments; memFullErr when memory runs out. On failure *result is the null
 * descriptor. */
CF_EXPORT OSErr AECoerceDesc(const AEDesc *theAEDesc, DescType toType, AEDesc *result);

/* Frees the descriptor's data and makes it the null descriptor; paramErr for
 * NULL. Disposing of a null descriptor does nothing. */
CF_EXPORT OSErr AEDisposeDesc(AEDesc *theAEDesc);

/* The number of data bytes; 0 for NULL or a descriptor without data. */
CF_EXPORT Size AEGetDescDataSize(const AEDesc *theAEDesc);

/* Copies up to maximumSize data bytes to dataPtr. paramErr for NULL
 * arguments or a negative size. */
CF_EXPORT OSErr AEGetDescData(const AEDesc *theAEDesc, void *dataPtr, Size maximumSize);

CF_EXTERN_C_END

#endif /* VANTRELL_APPLICATION_SERVICES_H */
