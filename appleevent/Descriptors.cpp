// Event descriptors built from values and URLs.
#include "appleevent/AppleEventPrivate.h"

#include "platform/values/Cast.h"
#include "platform/values/Guard.h"
#include "platform/values/Holder.h"

#include <cstring>
#include <vector>

namespace {

bool IsURL(CFTypeRef cf) {
    return vt::cf::Cast<CFURLRef>(cf) != nullptr;
}

// Fills an intermediate descriptor with the first stage and coerces it into
// desc; the intermediate one is disposed of whatever happens.
template <class Value>
OSStatus BuildAndCoerce(Value value, AEDesc *desc, OSStatus (*firstStage)(Value, AEDesc *),
                        DescType toType) {
    if (!value || !desc) return paramErr;
    AEDesc intermediate;
    AEInitializeDesc(&intermediate);
    OSStatus status = firstStage(value, &intermediate);
    if (status == noErr) status = AECoerceDesc(&intermediate, toType, desc);
    AEDisposeDesc(&intermediate);
    return status;
}

} // namespace

extern "C" {

OSStatus VTCreateDescWithCFBoolean(CFBooleanRef value, AEDesc *desc) {
    if (!desc) return paramErr;
    const UInt8 byte = value && value != kCFBooleanFalse ? 1 : 0;
    return AECreateDesc(typeBoolean, &byte, sizeof byte, desc);
}

OSStatus VTCreateUTF8DescWithCFString(CFStringRef string, AEDesc *desc) {
    if (!desc || !vt::cf::Cast<CFStringRef>(string)) return paramErr;
    // A buffer that cannot be allocated is memFullErr, not an exception.
    return vt::Guard<OSStatus>(memFullErr, [&]() -> OSStatus {
        // Room for the longest UTF-8 form and the terminating NUL, which the
        // descriptor leaves out.
        CFIndex capacity =
            CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8) + 1;
        std::vector<char> buffer(static_cast<size_t>(capacity));
        if (!CFStringGetCString(string, buffer.data(), capacity, kCFStringEncodingUTF8))
            return paramErr;
        return AECreateDesc(typeUTF8Text, buffer.data(), Size(std::strlen(buffer.data())), desc);
    });
}

OSStatus VTCreateUnicodeDescWithCFString(CFStringRef string, AEDesc *desc) {
    return BuildAndCoerce(string, desc, VTCreateUTF8DescWithCFString, typeUnicodeText);
}

OSStatus VTCreateDescWithCFData(CFDataRef data, AEDesc *desc) {
    if (!desc || !vt::cf::Cast<CFDataRef>(data)) return paramErr;
    return AECreateDesc(typeData, CFDataGetBytePtr(data), CFDataGetLength(data), desc);
}

OSStatus VTCreateFSRefDescWithFileURL(CFURLRef url, AEDesc *desc) {
    if (!desc || !IsURL(url)) return paramErr;
    FSRef ref;
    if (!CFURLGetFSRef(url, &ref)) return fnfErr;
    return AECreateDesc(typeFSRef, &ref, sizeof ref, desc);
}

OSStatus VTCreateUTF8TextDescWithURL(CFURLRef url, AEDesc *desc) {
    if (!desc || !IsURL(url)) return paramErr;
    return VTCreateUTF8DescWithCFString(CFURLGetString(url), desc);
}

OSStatus VTCreatePOSIXPathDescWithURL(CFURLRef url, AEDesc *desc) {
    if (!desc || !IsURL(url)) return paramErr;
    vt::CFRef<CFStringRef> path(CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle));
    if (!path) return paramErr;
    return VTCreateUTF8DescWithCFString(path.get(), desc);
}

OSStatus VTCreateAliasDescWithFileURL(CFURLRef url, AEDesc *desc) {
    return BuildAndCoerce(url, desc, VTCreateFSRefDescWithFileURL, typeAlias);
}

OSStatus VTCreateAEDescWithURLString(CFURLRef url, AEDesc *desc) {
    return BuildAndCoerce(url, desc, VTCreateUTF8TextDescWithURL, typeURL);
}

OSStatus VTCreateAEDescWithURL(AEDesc *, CFURLRef) {
    return paramErr;
}

} // extern "C"
