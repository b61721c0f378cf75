/*
 * CFBase.h: basic types, the object runtime and allocators.
 *
 * Every value is a reference-counted object. Create and Copy results belong to
 * the caller, who releases them with CFRelease; Get results are borrowed and
 * stay valid while their owner keeps them. Functions given NULL or a value of
 * the wrong type fail safely: they return NULL, false or 0, or do nothing.
 */
#ifndef VANTRELL_CF_BASE_H
#define VANTRELL_CF_BASE_H

#include <stdarg.h>
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#if defined(__cplusplus)
#define CF_EXTERN_C_BEGIN extern "C" {
#define CF_EXTERN_C_END }
#else
#define CF_EXTERN_C_BEGIN
#define CF_EXTERN_C_END
#endif

#define CF_EXPORT extern __attribute__((visibility("default")))
#define CF_INLINE static inline
#define CF_FORMAT_FUNCTION(F, A)
#define CF_ENUM(T, N)                                                                              \
    T N;                                                                                           \
    enum

CF_EXTERN_C_BEGIN

typedef unsigned char Boolean;
typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;
typedef float Float32;
typedef double Float64;
typedef uint16_t UniChar;
typedef uint32_t UTF32Char;
typedef SInt32 OSStatus;
typedef SInt16 OSErr;
typedef UInt32 OSType;
typedef UInt32 FourCharCode;
typedef unsigned char *StringPtr;
typedef const unsigned char *ConstStringPtr;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

enum { noErr = 0 };

typedef signed long CFIndex;
typedef unsigned long CFOptionFlags;
typedef unsigned long CFHashCode;
typedef unsigned long CFTypeID;

typedef const void *CFTypeRef;
typedef const struct __CFString *CFStringRef;
typedef struct __CFString *CFMutableStringRef;
typedef CFTypeRef CFPropertyListRef;
typedef const struct __CFAllocator *CFAllocatorRef;
typedef const struct __CFBoolean *CFBooleanRef;
typedef const struct __CFNumber *CFNumberRef;
typedef const struct __CFData *CFDataRef;
typedef struct __CFData *CFMutableDataRef;
typedef const struct __CFDate *CFDateRef;
typedef const struct __CFArray *CFArrayRef;
typedef struct __CFArray *CFMutableArrayRef;
typedef const struct __CFDictionary *CFDictionaryRef;
typedef struct __CFDictionary *CFMutableDictionaryRef;
typedef const struct __CFUUID *CFUUIDRef;
typedef const struct __CFError *CFErrorRef;

typedef struct {
    CFIndex location;
    CFIndex length;
} CFRange;

CF_INLINE CFRange CFRangeMake(CFIndex loc, CFIndex len) {
    CFRange range;
    range.location = loc;
    range.length = len;
    return range;
}

typedef CF_ENUM(CFIndex, CFComparisonResult) {
    kCFCompareLessThan = -1,
    kCFCompareEqualTo = 0,
    kCFCompareGreaterThan = 1,
};

typedef CFComparisonResult (*CFComparatorFunction)(const void *val1, const void *val2,
                                                   void *context);

enum { kCFNotFound = -1 };

/* Allocators. kCFAllocatorDefault is NULL; the others are shared, immortal
 * objects. Values remember the allocator they were made with. */
CF_EXPORT const CFAllocatorRef kCFAllocatorDefault;
CF_EXPORT const CFAllocatorRef kCFAllocatorSystemDefault;
CF_EXPORT const CFAllocatorRef kCFAllocatorMalloc;
CF_EXPORT const CFAllocatorRef kCFAllocatorNull;

/* Only meaningful as the first argument of CFAllocatorCreate: the new
 * allocator's own memory comes from the context's allocate callback. */
CF_EXPORT const CFAllocatorRef kCFAllocatorUseContext;

CF_EXPORT CFTypeID CFAllocatorGetTypeID(void);
CF_EXPORT CFAllocatorRef CFAllocatorGetDefault(void);

typedef const void *(*CFAllocatorRetainCallBack)(const void *info);
typedef void (*CFAllocatorReleaseCallBack)(const void *info);
typedef CFStringRef (*CFAllocatorCopyDescriptionCallBack)(const void *info);
typedef void *(*CFAllocatorAllocateCallBack)(CFIndex allocSize, CFOptionFlags hint, void *info);
typedef void *(*CFAllocatorReallocateCallBack)(void *ptr, CFIndex newsize, CFOptionFlags hint,
                                               void *info);
typedef void (*CFAllocatorDeallocateCallBack)(void *ptr, void *info);
typedef CFIndex (*CFAllocatorPreferredSizeCallBack)(CFIndex size, CFOptionFlags hint, void *info);

/* A caller-defined allocator. Only version 0 exists. info is retained with
 * retain (when given) for the allocator's lifetime and released with release.
 * allocate is required; the others may be NULL. */
typedef struct {
    CFIndex version;
    void *info;
    CFAllocatorRetainCallBack retain;
    CFAllocatorReleaseCallBack release;
    CFAllocatorCopyDescriptionCallBack copyDescription;
    CFAllocatorAllocateCallBack allocate;
    CFAllocatorReallocateCallBack reallocate;
    CFAllocatorDeallocateCallBack deallocate;
    CFAllocatorPreferredSizeCallBack preferredSize;
} CFAllocatorContext;

/* A new allocator (the caller releases it) working through the context's
 * callbacks; its own memory comes from allocator, or from the context itself
 * with kCFAllocatorUseContext. NULL for a missing context, a version other
 * than 0, no allocate callback, or when memory runs out. Values made with it
 * take their object memory from it and keep it retained until they are
 * freed. */
CF_EXPORT CFAllocatorRef CFAllocatorCreate(CFAllocatorRef allocator, CFAllocatorContext *context);
/* size bytes from the allocator (NULL: the default), owned by the caller who
 * gives them back with CFAllocatorDeallocate; NULL for size <= 0 or when the
 * allocator refuses. */
CF_EXPORT void *CFAllocatorAllocate(CFAllocatorRef allocator, CFIndex size, CFOptionFlags hint);
/* Resizes ptr: a NULL ptr allocates, a newsize of 0 deallocates and returns
 * NULL. NULL when the allocator cannot resize (ptr then stays valid). */
CF_EXPORT void *CFAllocatorReallocate(CFAllocatorRef allocator, void *ptr, CFIndex newsize,
                                      CFOptionFlags hint);
/* Gives ptr back to the allocator that made it; NULL is ignored. */
CF_EXPORT void CFAllocatorDeallocate(CFAllocatorRef allocator, void *ptr);
/* The size the allocator would actually hand out for size bytes (at least
 * size). */
CF_EXPORT CFIndex CFAllocatorGetPreferredSizeForSize(CFAllocatorRef allocator, CFIndex size,
                                                     CFOptionFlags hint);
/* Copies the allocator's callbacks and info into *context when its version
 * is 0 (the info is not retained). */
CF_EXPORT void CFAllocatorGetContext(CFAllocatorRef allocator, CFAllocatorContext *context);

/* The object runtime. */
CF_EXPORT CFTypeID CFGetTypeID(CFTypeRef cf);
CF_EXPORT CFStringRef CFCopyTypeIDDescription(CFTypeID type_id);
/* Returns cf, retained. A NULL argument returns NULL. */
CF_EXPORT CFTypeRef CFRetain(CFTypeRef cf);
/* Releases cf; the last release frees it. NULL is ignored. */
CF_EXPORT void CFRelease(CFTypeRef cf);
CF_EXPORT CFIndex CFGetRetainCount(CFTypeRef cf);
CF_EXPORT Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2);
CF_EXPORT CFHashCode CFHash(CFTypeRef cf);
/* A new string describing cf (the caller releases it); strings describe
 * themselves, numbers give their value. */
CF_EXPORT CFStringRef CFCopyDescription(CFTypeRef cf);
CF_EXPORT CFAllocatorRef CFGetAllocator(CFTypeRef cf);
/* Writes cf's description to standard error, then a line break. */
CF_EXPORT void CFShow(CFTypeRef obj);

/* The null object, for containers that must hold "nothing". */
typedef const struct __CFNull *CFNullRef;
CF_EXPORT CFTypeID CFNullGetTypeID(void);
CF_EXPORT const CFNullRef kCFNull;

CF_EXTERN_C_END

#endif /* VANTRELL_CF_BASE_H */
