/* A host written in C: constant strings intern once, values round-trip
 * through the framework's C API. Exits non-zero on the first failed check. */
#include <CoreFoundation/CoreFoundation.h>
#include <Vantrell/Vantrell.h>

#include <stdio.h>
#include <string.h>

static int failures = 0;

static void check(int condition, const char *what) {
    if (!condition) {
        fprintf(stderr, "FAILED: %s\n", what);
        failures++;
    }
}

static CFStringRef MakeKey(void) {
    return CFSTR("Key");
}

int main(void) {
    CFStringRef a = MakeKey();
    CFStringRef b = MakeKey();
    check(a == b, "CFSTR gives the same object for the same text");
    check(CFGetRetainCount(a) > 1000000, "constant strings are immortal");
    CFRelease(a);
    CFRelease(a);
    check(CFStringGetLength(a) == 3, "constant string survives releases");

    CFMutableDictionaryRef dict =
        CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFCopyStringDictionaryKeyCallBacks,
                                  &kCFTypeDictionaryValueCallBacks);
    CFIndex value = -50;
    CFNumberRef number = CFNumberCreate(kCFAllocatorDefault, kCFNumberCFIndexType, &value);
    CFDictionarySetValue(dict, CFSTR("code"), number);
    CFRelease(number);
    CFDataRef xml = CFPropertyListCreateXMLData(kCFAllocatorDefault, dict);
    check(xml != NULL, "dictionary writes as XML");
    CFPropertyListRef back = xml ? CFPropertyListCreateFromXMLData(kCFAllocatorDefault, xml,
                                                                   kCFPropertyListImmutable, NULL)
                                 : NULL;
    check(back != NULL && CFEqual(back, dict), "XML reads back equal");

    CFMutableDictionaryRef record = VTErrorCreateNULLParam(kCFAllocatorDefault);
    check(record != NULL && VTU_ErrorGetCode(record) == -50, "error record from C");

    if (record) CFRelease(record);
    if (back) CFRelease(back);
    if (xml) CFRelease(xml);
    CFRelease(dict);
    if (failures == 0) printf("C client: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
