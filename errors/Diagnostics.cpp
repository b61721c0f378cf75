// Diagnostic writers: the system log, standard error, and the value display
// for hosts.
#include "errors/Diagnostics.h"

#include "platform/values/Cast.h"
#include "platform/values/Holder.h"
#include "platform/system/SystemLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>

using vt::CFRef;
namespace platform = vt::platform;

namespace {

constexpr const char *kLogSender = "info.library.quillbay";
constexpr const char *kLogFacility = "Quillbay";

using CText = std::unique_ptr<char, decltype(&std::free)>;

// The string's UTF-8 text in a buffer of the largest size it can take, or
// NULL when the conversion fails.
CText CopyUTF8(CFStringRef string) {
    CFIndex size =
        CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8) + 1;
    CText buffer(static_cast<char *>(size > 0 ? std::malloc(size_t(size)) : nullptr), std::free);
    if (!buffer || !CFStringGetCString(string, buffer.get(), size, kCFStringEncodingUTF8))
        return CText(nullptr, std::free);
    return buffer;
}

// The UTF-8 format expanded with the arguments, or NULL.
CFStringRef CreateExpanded(const char *format, va_list arguments) {
    CFRef<CFStringRef> formatString(
        CFStringCreateWithCString(kCFAllocatorMalloc, format, kCFStringEncodingUTF8));
    if (!formatString) return nullptr;
    return CFStringCreateWithFormatAndArguments(kCFAllocatorMalloc, nullptr, formatString.get(),
                                                arguments);
}

} // namespace

extern "C" {

void VTLog(const char *format, ...) {
    static platform::aslclient client = nullptr;
    if (!client) {
        client = platform::asl_open(kLogSender, kLogFacility,
                                    platform::ASL_OPT_STDERR | platform::ASL_OPT_NO_DELAY |
                                        platform::ASL_OPT_NO_REMOTE);
        if (!client) return;
    }
    std::unique_ptr<platform::LogMessage, decltype(&platform::asl_free)> message(
        platform::asl_new(platform::ASL_TYPE_MSG), platform::asl_free);
    if (!message) return;
    // A format that cannot be expanded still sends the message, without text.
    CFRef<CFStringRef> text;
    if (format) {
        va_list arguments;
        va_start(arguments, format);
        text.Reset(CreateExpanded(format, arguments));
        va_end(arguments);
    }
    if (text) {
        if (CText utf8 = CopyUTF8(text.get())) {
            int result = platform::asl_set(message.get(), platform::ASL_KEY_MSG, utf8.get());
            if (result != 0) {
                std::fprintf(stderr, "%s::rslt:: %d\n", "VTLog", result);
                return;
            }
        }
    }
    int result = platform::asl_send(client, message.get());
    if (result != 0) std::fprintf(stderr, "%s::rslt:: %d\n", "VTLog", result);
}

void slog(const char *format, ...) {
    if (!format) return;
    va_list arguments;
    va_start(arguments, format);
    CFRef<CFStringRef> text(CreateExpanded(format, arguments));
    va_end(arguments);
    if (!text) return;
    if (CText utf8 = CopyUTF8(text.get())) std::fputs(utf8.get(), stderr);
}

void VTU_ShowType(CFTypeRef theFormat, ...) {
    if (!theFormat) {
        CFShow(CFSTR("VTU_ShowType:: NULL parameter 'theFormat'"));
        return;
    }
    CFRef<CFStringRef> text;
    if (auto format = vt::cf::Cast<CFStringRef>(theFormat)) {
        va_list arguments;
        va_start(arguments, theFormat);
        text.Reset(
            CFStringCreateWithFormatAndArguments(kCFAllocatorMalloc, nullptr, format, arguments));
        va_end(arguments);
        if (!text) return;
    } else {
        text.Reset(CFStringCreateWithFormat(kCFAllocatorMalloc, nullptr, CFSTR("%@"), theFormat));
        if (!text) {
            CFShow(theFormat);
            return;
        }
    }
    if (CText utf8 = CopyUTF8(text.get())) std::fputs(utf8.get(), stderr);
}

} // extern "C"
