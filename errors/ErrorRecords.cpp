// Error records: constructors, accessors, display and the index-sized number
// helpers.
#include "errors/ErrorsPrivate.h"

#include "platform/values/Holder.h"
#include "platform/strings/StringInternal.h"

#include <atomic>
#include <cstdio>

using vt::CFRef;

VT_CONSTANT_STRING(kVTErrorDomainOSStatus, "ErrorDomainOSStatus");
VT_CONSTANT_STRING(kVTErrorDomainPOSIX, "ErrorDomainPOSIX");

namespace vt::errors {

CFStringRef KeyDomain() {
    return CFSTR("domain");
}
CFStringRef KeyCode() {
    return CFSTR("code");
}
CFStringRef KeyDescription() {
    return CFSTR("description");
}

namespace {

constexpr CFIndex kParamErr = -50;
constexpr CFIndex kCoreErr = -4960;
constexpr CFIndex kNoCode = -2727;

// One shared number per code for the life of the process, made on first use.
// A creation that failed is tried again by the next use; if two threads race,
// one number wins and the other is released, so every record shares one.
CFNumberRef SharedNumber(std::atomic<CFNumberRef> &slot, CFIndex value) {
    CFNumberRef number = slot.load(std::memory_order_acquire);
    if (number) return number;
    CFNumberRef made = CFNumberCreate(kCFAllocatorMalloc, kCFNumberCFIndexType, &value);
    if (!made) return nullptr;
    if (slot.compare_exchange_strong(number, made, std::memory_order_acq_rel)) return made;
    CFRelease(made);
    return number;
}

// True when the format's only conversions are one "%s" and any "%%", so that
// expanding it with one C string reads nothing else.
bool HasSingleStringConversion(CFStringRef format) {
    std::string text = vt::cf::StringToUTF8(format);
    int strings = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        if (i + 1 < text.size() && text[i + 1] == '%') {
            ++i;
        } else if (i + 1 < text.size() && text[i + 1] == 's') {
            ++strings;
            ++i;
        } else {
            return false;
        }
    }
    return strings == 1;
}

CFMutableDictionaryRef CreateRecord(CFAllocatorRef allocator, CFStringRef domain, CFNumberRef code,
                                    CFStringRef description) {
    CFMutableDictionaryRef record = CFDictionaryCreateMutable(
        allocator, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    if (!record) return nullptr;
    CFDictionarySetValue(record, KeyDomain(), domain ? domain : kVTErrorDomainOSStatus);
    CFDictionarySetValue(record, KeyCode(), code ? code : VTErrorGetCoreErr());
    if (description) CFDictionarySetValue(record, KeyDescription(), description);
    return record;
}

// A record whose description is the text as given, never expanded.
CFMutableDictionaryRef CreateVerbatim(CFAllocatorRef allocator, CFStringRef domain,
                                      CFNumberRef code, CFStringRef text) {
    CFRef<CFStringRef> description(text ? CFStringCreateCopy(allocator, text) : nullptr);
    return CreateRecord(allocator, domain, code, description.get());
}

} // namespace
} // namespace vt::errors

using namespace vt::errors;

extern "C" {

CFNumberRef VTErrorGetParamErr(void) {
    static constinit std::atomic<CFNumberRef> number{nullptr};
    return SharedNumber(number, kParamErr);
}

CFNumberRef VTErrorGetCoreErr(void) {
    static constinit std::atomic<CFNumberRef> number{nullptr};
    return SharedNumber(number, kCoreErr);
}

CFMutableDictionaryRef VTErrorCreate(CFAllocatorRef allocator, CFStringRef domain, CFNumberRef code,
                                     CFStringRef format, ...) {
    CFRef<CFStringRef> description;
    if (format) {
        va_list arguments;
        va_start(arguments, format);
        description.Reset(
            CFStringCreateWithFormatAndArguments(allocator, nullptr, format, arguments));
        va_end(arguments);
    }
    return CreateRecord(allocator, domain, code, description.get());
}

CFMutableDictionaryRef VTErrorCreateNULLParam(CFAllocatorRef allocator) {
    return CreateVerbatim(allocator, kVTErrorDomainOSStatus, VTErrorGetParamErr(),
                          CFSTR("Required input parameter is NULL."));
}

CFMutableDictionaryRef VTErrorCreateNULLParamFormat(CFAllocatorRef allocator, const char *name) {
    return VTErrorCreate(allocator, kVTErrorDomainOSStatus, VTErrorGetParamErr(),
                         CFSTR("%s:: Required input parameter is NULL."), name);
}

// The text is stored verbatim: a host text may hold "%s" or "%@" (a file
// name, say), and expanding it would read arguments that were never passed.
CFMutableDictionaryRef VTErrorCreateCore(CFAllocatorRef allocator, CFStringRef text) {
    return CreateVerbatim(allocator, kVTErrorDomainOSStatus, VTErrorGetCoreErr(), text);
}

// Expands only a format whose one conversion is "%s"; any other format is
// kept verbatim for the same reason as VTErrorCreateCore.
CFMutableDictionaryRef VTErrorCreateCoreFormat(CFAllocatorRef allocator, CFStringRef format,
                                               const char *name) {
    if (format && CFGetTypeID(format) == CFStringGetTypeID() && HasSingleStringConversion(format))
        return VTErrorCreate(allocator, kVTErrorDomainOSStatus, VTErrorGetCoreErr(), format, name);
    return CreateVerbatim(allocator, kVTErrorDomainOSStatus, VTErrorGetCoreErr(), format);
}

CFNumberRef VTErrorGetNumber(CFDictionaryRef error) {
    return static_cast<CFNumberRef>(CFDictionaryGetValue(error, KeyCode()));
}

CFStringRef VTErrorGetDomain(CFDictionaryRef error) {
    return static_cast<CFStringRef>(CFDictionaryGetValue(error, KeyDomain()));
}

CFStringRef VTErrorGetDescription(CFDictionaryRef error) {
    return static_cast<CFStringRef>(CFDictionaryGetValue(error, KeyDescription()));
}

CFIndex VTU_ErrorGetCode(CFDictionaryRef error) {
    CFIndex code = kNoCode;
    if (!error) return code;
    CFNumberRef number = VTErrorGetNumber(error);
    if (number) CFNumberGetValue(number, kCFNumberCFIndexType, &code);
    return code;
}

CFNumberRef VTU_NumberCreateWithCFIndex(CFAllocatorRef allocator, CFIndex value) {
    CFNumberRef number = CFNumberCreate(allocator, kCFNumberCFIndexType, &value);
    if (!number) std::fprintf(stderr, "%s failed\n", "VTU_NumberCreateWithCFIndex");
    return number;
}

CFIndex VTU_NumberGetCFIndexValue(CFNumberRef number) {
    CFIndex value = 0;
    if (!number) {
        VTErrorPrivate_ShowIf(kCFAllocatorMalloc, kVTErrorDomainOSStatus, kParamErr,
                              "%s:: Required input parameter is NULL.",
                              "VTU_NumberGetCFIndexValue");
        return value;
    }
    if (!CFNumberGetValue(number, kCFNumberCFIndexType, &value))
        VTErrorPrivate_ShowIf(kCFAllocatorMalloc, kVTErrorDomainOSStatus, kCoreErr,
                              "%s:: CFNumberGet value failed.", "VTU_NumberGetCFIndexValue");
    return value;
}

void VTErrorShow(CFDictionaryRef error, CFStringRef headingFormat, ...) {
    if (!error) return;
    CFAllocatorRef allocator = CFGetAllocator(error);
    if (headingFormat) {
        va_list arguments;
        va_start(arguments, headingFormat);
        CFRef<CFStringRef> heading(
            CFStringCreateWithFormatAndArguments(allocator, nullptr, headingFormat, arguments));
        va_end(arguments);
        if (heading) CFShow(heading.get());
    }
    CFRef<CFMutableStringRef> block(CFStringCreateMutable(allocator, 0));
    if (!block) return;
    CFStringAppendFormat(block.get(), nullptr, CFSTR("\t%@: %@\n"), CFSTR("domain"),
                         CFDictionaryGetValue(error, KeyDomain()));
    CFStringAppendFormat(block.get(), nullptr, CFSTR("\t%@: %@\n"), CFSTR("number"),
                         CFDictionaryGetValue(error, KeyCode()));
    if (CFTypeRef description = CFDictionaryGetValue(error, KeyDescription()))
        CFStringAppendFormat(block.get(), nullptr, CFSTR("\t%@: %@\n"), CFSTR("description"),
                             description);
    CFShow(block.get());
}

void VTErrorPrivate_ShowIf(CFAllocatorRef allocator, CFStringRef domain, CFIndex code,
                           const char *format, ...) {
    CFRef<CFNumberRef> number(VTU_NumberCreateWithCFIndex(allocator, code));
    CFRef<CFMutableDictionaryRef> record;
    if (format) {
        CFRef<CFStringRef> formatString(
            CFStringCreateWithCString(allocator, format, kCFStringEncodingUTF8));
        if (!formatString) return;
        va_list arguments;
        va_start(arguments, format);
        CFRef<CFStringRef> text(CFStringCreateWithFormatAndArguments(
            allocator, nullptr, formatString.get(), arguments));
        va_end(arguments);
        if (!text) return;
        record.Reset(CreateVerbatim(allocator, domain, number.get(), text.get()));
    } else {
        record.Reset(CreateRecord(allocator, domain, number.get(), nullptr));
    }
    if (record) VTErrorShow(record.get(), nullptr);
}

} // extern "C"
