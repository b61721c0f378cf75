// Error records: constructors, accessors, display and the index-sized number
// helpers.
#include "errors/ErrorsPrivate.h"

#include "platform/strings/StringInternal.h"
#include "platform/values/Cast.h"
#include "platform/values/Guard.h"
#include "platform/values/Holder.h"

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

// Every record is made here. The dictionary is made with the constructor's
// allocator; a domain or code of the wrong type counts as absent, so every
// record holds a string domain and a number code; the description, already
// made with the same allocator, is retained as it is.
//
// A record reports a failure, so it must not be lost to the failure it
// reports: when the caller's allocator refuses, the record comes from the
// system heap instead, since a NULL record would read as success.
CFMutableDictionaryRef CreateRecord(CFAllocatorRef allocator, CFStringRef domain, CFNumberRef code,
                                    CFStringRef description) {
    CFMutableDictionaryRef record = CFDictionaryCreateMutable(
        allocator, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    if (!record)
        record = CFDictionaryCreateMutable(kCFAllocatorSystemDefault, 0,
                                           &kCFCopyStringDictionaryKeyCallBacks,
                                           &kCFTypeDictionaryValueCallBacks);
    if (!record) return nullptr;
    CFStringRef checkedDomain = vt::cf::Cast<CFStringRef>(domain);
    CFNumberRef checkedCode = vt::cf::Cast<CFNumberRef>(code);
    CFDictionarySetValue(record, KeyDomain(),
                         checkedDomain ? checkedDomain : kVTErrorDomainOSStatus);
    if (!checkedCode) checkedCode = VTErrorGetCoreErr();
    if (checkedCode) CFDictionarySetValue(record, KeyCode(), checkedCode);
    if (description) CFDictionarySetValue(record, KeyDescription(), description);
    return record;
}

// A record whose description is the text, never expanded. The text is
// inserted into a new string rather than copied: a copy of an immutable
// string is the same string, made with whichever allocator made it.
CFMutableDictionaryRef CreateVerbatim(CFAllocatorRef allocator, CFNumberRef code,
                                      CFStringRef text) {
    CFStringRef checked = vt::cf::Cast<CFStringRef>(text);
    CFRef<CFStringRef> description(
        checked ? CFStringCreateWithFormat(allocator, nullptr, CFSTR("%@"), checked) : nullptr);
    if (checked && !description)
        description.Reset(
            CFStringCreateWithFormat(kCFAllocatorSystemDefault, nullptr, CFSTR("%@"), checked));
    return CreateRecord(allocator, kVTErrorDomainOSStatus, code, description.get());
}

// The value under a key of a record, NULL when the record is no dictionary.
CFTypeRef RecordValue(CFDictionaryRef error, CFStringRef key) {
    CFDictionaryRef record = vt::cf::Cast<CFDictionaryRef>(error);
    return record ? CFDictionaryGetValue(record, key) : nullptr;
}

// The format expanded with the arguments, made with the allocator; NULL when
// there is no format or it cannot be expanded.
CFStringRef CreateExpanded(CFAllocatorRef allocator, CFStringRef format, va_list arguments) {
    if (!vt::cf::Cast<CFStringRef>(format)) return nullptr;
    return CFStringCreateWithFormatAndArguments(allocator, nullptr, format, arguments);
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
    va_list arguments;
    va_start(arguments, format);
    CFRef<CFStringRef> description(CreateExpanded(allocator, format, arguments));
    va_end(arguments);
    if (!description && vt::cf::Cast<CFStringRef>(format)) {
        // Refused by the caller's allocator: the text still goes with the record.
        va_start(arguments, format);
        description.Reset(CreateExpanded(kCFAllocatorSystemDefault, format, arguments));
        va_end(arguments);
    }
    return CreateRecord(allocator, domain, code, description.get());
}

CFMutableDictionaryRef VTErrorCreateNULLParam(CFAllocatorRef allocator) {
    return CreateVerbatim(allocator, VTErrorGetParamErr(),
                          CFSTR("Required input parameter is NULL."));
}

CFMutableDictionaryRef VTErrorCreateNULLParamFormat(CFAllocatorRef allocator, const char *name) {
    return VTErrorCreate(allocator, kVTErrorDomainOSStatus, VTErrorGetParamErr(),
                         CFSTR("%s:: Required input parameter is NULL."), name);
}

// The text is stored verbatim: a host text may hold "%s" or "%@" (a file
// name, say), and expanding it would read arguments that were never passed.
CFMutableDictionaryRef VTErrorCreateCore(CFAllocatorRef allocator, CFStringRef text) {
    return CreateVerbatim(allocator, VTErrorGetCoreErr(), text);
}

// Expands only a format whose one conversion is "%s"; any other format is
// kept verbatim for the same reason as VTErrorCreateCore.
CFMutableDictionaryRef VTErrorCreateCoreFormat(CFAllocatorRef allocator, CFStringRef format,
                                               const char *name) {
    return vt::Guard<CFMutableDictionaryRef>(nullptr, [&] {
        CFStringRef checked = vt::cf::Cast<CFStringRef>(format);
        if (checked && HasSingleStringConversion(checked))
            return VTErrorCreate(allocator, kVTErrorDomainOSStatus, VTErrorGetCoreErr(), checked,
                                 name);
        return CreateVerbatim(allocator, VTErrorGetCoreErr(), checked);
    });
}

// The accessors answer only the type they declare: a host may hand in any
// dictionary, and a value of another type under a key is no value at all.
CFNumberRef VTErrorGetNumber(CFDictionaryRef error) {
    return vt::cf::Cast<CFNumberRef>(RecordValue(error, KeyCode()));
}

CFStringRef VTErrorGetDomain(CFDictionaryRef error) {
    return vt::cf::Cast<CFStringRef>(RecordValue(error, KeyDomain()));
}

CFStringRef VTErrorGetDescription(CFDictionaryRef error) {
    return vt::cf::Cast<CFStringRef>(RecordValue(error, KeyDescription()));
}

CFIndex VTU_ErrorGetCode(CFDictionaryRef error) {
    CFIndex code = kNoCode;
    if (CFNumberRef number = VTErrorGetNumber(error))
        CFNumberGetValue(number, kCFNumberCFIndexType, &code);
    return code;
}

CFNumberRef VTU_NumberCreateWithCFIndex(CFAllocatorRef allocator, CFIndex value) {
    CFNumberRef number = CFNumberCreate(allocator, kCFNumberCFIndexType, &value);
    if (!number) std::fprintf(stderr, "%s failed\n", "VTU_NumberCreateWithCFIndex");
    return number;
}

CFIndex VTU_NumberGetCFIndexValue(CFNumberRef number) {
    CFIndex value = 0;
    // A value of another type is no number either.
    number = vt::cf::Cast<CFNumberRef>(number);
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
    error = vt::cf::Cast<CFDictionaryRef>(error);
    if (!error) return;
    CFAllocatorRef allocator = CFGetAllocator(error);
    if (headingFormat) {
        va_list arguments;
        va_start(arguments, headingFormat);
        CFRef<CFStringRef> heading(CreateExpanded(allocator, headingFormat, arguments));
        va_end(arguments);
        if (heading) CFShow(heading.get());
    }
    // The display shows whatever the record holds, wrong types included: it
    // is what someone reading standard error needs to see.
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
    CFRef<CFStringRef> text;
    if (format) {
        CFRef<CFStringRef> formatString(
            CFStringCreateWithCString(allocator, format, kCFStringEncodingUTF8));
        if (!formatString) return;
        va_list arguments;
        va_start(arguments, format);
        text.Reset(CreateExpanded(allocator, formatString.get(), arguments));
        va_end(arguments);
        if (!text) return;
    }
    // The expanded text is the description as it stands: it may hold "%"
    // (an escaped path, say) and is never expanded again.
    CFRef<CFMutableDictionaryRef> record(CreateRecord(allocator, domain, number.get(), text.get()));
    if (record) VTErrorShow(record.get(), nullptr);
}

} // extern "C"
