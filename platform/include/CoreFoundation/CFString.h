/*
 * CFString.h: immutable and mutable Unicode strings.
 *
 * Lengths, indexes and ranges count UTF-16 code units. Formats take the printf
 * conversions (flags, width, precision, length modifiers, positional
 * arguments) plus %@, which inserts any value's description ("(null)" for
 * NULL).
 */
#ifndef VANTRELL_CF_STRING_H
#define VANTRELL_CF_STRING_H

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFData.h>

CF_EXTERN_C_BEGIN

typedef UInt32 CFStringEncoding;

enum {
    kCFStringEncodingMacRoman = 0,
    kCFStringEncodingWindowsLatin1 = 0x0500,
    kCFStringEncodingISOLatin1 = 0x0201,
    kCFStringEncodingNextStepLatin = 0x0B01,
    kCFStringEncodingASCII = 0x0600,
    kCFStringEncodingUnicode = 0x0100,
    kCFStringEncodingUTF8 = 0x08000100,
    kCFStringEncodingNonLossyASCII = 0x0BFF,
    kCFStringEncodingUTF16 = 0x0100,
    kCFStringEncodingUTF16BE = 0x10000100,
    kCFStringEncodingUTF16LE = 0x14000100,
    kCFStringEncodingUTF32 = 0x0c000100,
    kCFStringEncodingUTF32BE = 0x18000100,
    kCFStringEncodingUTF32LE = 0x1c000100,
};
#define kCFStringEncodingInvalidId (0xffffffffU)

typedef CFOptionFlags CFStringCompareFlags;
enum {
    kCFCompareCaseInsensitive = 1,
    kCFCompareBackwards = 4,
    kCFCompareAnchored = 8,
    kCFCompareNonliteral = 16,
};

CF_EXPORT CFTypeID CFStringGetTypeID(void);

/* Constant strings: immortal, never freed, usable during static
 * initialisation. Retain and release do nothing on them. Their text is UTF-8. */
CF_EXPORT CFStringRef __CFStringMakeConstantString(const char *cStr);

/* The layout of a constant string object; the runtime treats it as a string. */
struct __VTRuntimeClass;
CF_EXPORT const struct __VTRuntimeClass __VTConstantStringClass;
struct __VTConstantString {
    const struct __VTRuntimeClass *isa;
    UInt32 rc; /* 0xffffffff: immortal */
    UInt8 allocator;
    UInt8 flags;
    UInt16 spare;
    const char *bytes;
    CFIndex length; /* in bytes */
};
#define __VT_CONSTANT_STRING_INIT(cStr)                                                            \
    {                                                                                              \
        &__VTConstantStringClass, 0xffffffffU, 0, 0, 0, "" cStr "",                                \
            (CFIndex)(sizeof("" cStr "") - 1)                                                      \
    }

#if defined(__cplusplus) && defined(__cpp_constinit)
/* In C++20 every CFSTR use is a constant-initialised static object. */
#define CFSTR(cStr)                                                                                \
    ([]() -> CFStringRef {                                                                         \
        static constinit const __VTConstantString vt_cfstr_object =                                \
            __VT_CONSTANT_STRING_INIT(cStr);                                                       \
        return (CFStringRef)&vt_cfstr_object;                                                      \
    }())
#else
/* In C and older C++, CFSTR interns the text once; the result lives as long
 * as the process. */
#define CFSTR(cStr) __CFStringMakeConstantString("" cStr "")
#endif

/* Creation. Each returns a new string (the caller releases it) or NULL. */
CF_EXPORT CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char *cStr,
                                                CFStringEncoding encoding);
CF_EXPORT CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8 *bytes,
                                              CFIndex numBytes, CFStringEncoding encoding,
                                              Boolean isExternalRepresentation);
CF_EXPORT CFStringRef CFStringCreateWithCharacters(CFAllocatorRef alloc, const UniChar *chars,
                                                   CFIndex numChars);
CF_EXPORT CFStringRef CFStringCreateWithSubstring(CFAllocatorRef alloc, CFStringRef str,
                                                  CFRange range);
CF_EXPORT CFStringRef CFStringCreateCopy(CFAllocatorRef alloc, CFStringRef theString);
CF_EXPORT CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions,
                                               CFStringRef format, ...);
CF_EXPORT CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef alloc,
                                                           CFDictionaryRef formatOptions,
                                                           CFStringRef format, va_list arguments);
CF_EXPORT CFStringRef CFStringCreateFromExternalRepresentation(CFAllocatorRef alloc, CFDataRef data,
                                                               CFStringEncoding encoding);
CF_EXPORT CFDataRef CFStringCreateExternalRepresentation(CFAllocatorRef alloc,
                                                         CFStringRef theString,
                                                         CFStringEncoding encoding, UInt8 lossByte);
CF_EXPORT CFArrayRef CFStringCreateArrayBySeparatingStrings(CFAllocatorRef alloc,
                                                            CFStringRef theString,
                                                            CFStringRef separatorString);
CF_EXPORT CFStringRef CFStringCreateByCombiningStrings(CFAllocatorRef alloc, CFArrayRef theArray,
                                                       CFStringRef separatorString);

/* Mutable strings. maxLength is accepted as a hint; mutable strings grow as needed. */
CF_EXPORT CFMutableStringRef CFStringCreateMutable(CFAllocatorRef alloc, CFIndex maxLength);
CF_EXPORT CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef alloc, CFIndex maxLength,
                                                       CFStringRef theString);

/* Access. */
CF_EXPORT CFIndex CFStringGetLength(CFStringRef theString);
CF_EXPORT UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx);
CF_EXPORT void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar *buffer);
CF_EXPORT Boolean CFStringGetCString(CFStringRef theString, char *buffer, CFIndex bufferSize,
                                     CFStringEncoding encoding);
/* A pointer to the string's own bytes in that encoding when it can give one
 * without conversion, or NULL. Borrowed: valid while the string is unchanged. */
CF_EXPORT const char *CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding);
/* Converts the range; returns the number of characters converted and stores
 * the bytes used in *usedBufLen. A lossByte of 0 stops at the first character
 * the encoding cannot represent; otherwise that byte replaces it. A NULL
 * buffer only measures. */
CF_EXPORT CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding,
                                   UInt8 lossByte, Boolean isExternalRepresentation, UInt8 *buffer,
                                   CFIndex maxBufLen, CFIndex *usedBufLen);
CF_EXPORT CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);
CF_EXPORT CFIndex CFStringGetMaximumSizeOfFileSystemRepresentation(CFStringRef string);
CF_EXPORT Boolean CFStringGetFileSystemRepresentation(CFStringRef string, char *buffer,
                                                      CFIndex maxBufLen);
CF_EXPORT CFStringRef CFStringCreateWithFileSystemRepresentation(CFAllocatorRef alloc,
                                                                 const char *buffer);
CF_EXPORT SInt32 CFStringGetIntValue(CFStringRef str);
CF_EXPORT double CFStringGetDoubleValue(CFStringRef str);

/* Comparison and search. */
CF_EXPORT CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2,
                                             CFStringCompareFlags compareOptions);
CF_EXPORT CFComparisonResult CFStringCompareWithOptions(CFStringRef theString1,
                                                        CFStringRef theString2,
                                                        CFRange rangeToCompare,
                                                        CFStringCompareFlags compareOptions);
/* {kCFNotFound, 0} when absent. */
CF_EXPORT CFRange CFStringFind(CFStringRef theString, CFStringRef stringToFind,
                               CFStringCompareFlags compareOptions);
CF_EXPORT Boolean CFStringFindWithOptions(CFStringRef theString, CFStringRef stringToFind,
                                          CFRange rangeToSearch, CFStringCompareFlags searchOptions,
                                          CFRange *result);
CF_EXPORT Boolean CFStringHasPrefix(CFStringRef theString, CFStringRef prefix);
CF_EXPORT Boolean CFStringHasSuffix(CFStringRef theString, CFStringRef suffix);

/* Editing a mutable string. */
CF_EXPORT void CFStringAppend(CFMutableStringRef theString, CFStringRef appendedString);
CF_EXPORT void CFStringAppendCString(CFMutableStringRef theString, const char *cStr,
                                     CFStringEncoding encoding);
CF_EXPORT void CFStringAppendCharacters(CFMutableStringRef theString, const UniChar *chars,
                                        CFIndex numChars);
CF_EXPORT void CFStringAppendFormat(CFMutableStringRef theString, CFDictionaryRef formatOptions,
                                    CFStringRef format, ...);
CF_EXPORT void CFStringAppendFormatAndArguments(CFMutableStringRef theString,
                                                CFDictionaryRef formatOptions, CFStringRef format,
                                                va_list arguments);
CF_EXPORT void CFStringInsert(CFMutableStringRef str, CFIndex idx, CFStringRef insertedStr);
CF_EXPORT void CFStringDelete(CFMutableStringRef theString, CFRange range);
CF_EXPORT void CFStringReplace(CFMutableStringRef theString, CFRange range,
                               CFStringRef replacement);
CF_EXPORT void CFStringReplaceAll(CFMutableStringRef theString, CFStringRef replacement);
/* Replaces every match in the range; returns the number replaced. */
CF_EXPORT CFIndex CFStringFindAndReplace(CFMutableStringRef theString, CFStringRef stringToFind,
                                         CFStringRef replacementString, CFRange rangeToSearch,
                                         CFStringCompareFlags compareOptions);
CF_EXPORT void CFStringLowercase(CFMutableStringRef theString, const void *locale);
CF_EXPORT void CFStringUppercase(CFMutableStringRef theString, const void *locale);

CF_EXTERN_C_END

#endif /* VANTRELL_CF_STRING_H */
