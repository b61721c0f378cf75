// File resources named by file URLs: existence, folder listings, whole-file
// reads and writes, folder creation and removal.
#include "platform/files/FileSystem.h"
#include "platform/values/Cast.h"
#include "platform/values/Guard.h"
#include "platform/values/Holder.h"
#include "platform/values/Runtime.h"
#include "platform/strings/StringInternal.h"
#include "platform/files/URLInternal.h"

#include <cstdlib>
#include <string>
#include <vector>

using namespace vt::cf;
using vt::CFRef;

// Each key's text is its own name, as saved documents record it.
VT_CONSTANT_STRING(kCFURLFileExists, "kCFURLFileExists");
VT_CONSTANT_STRING(kCFURLFileDirectoryContents, "kCFURLFileDirectoryContents");
VT_CONSTANT_STRING(kCFURLFileLength, "kCFURLFileLength");
VT_CONSTANT_STRING(kCFURLFileLastModificationTime, "kCFURLFileLastModificationTime");
VT_CONSTANT_STRING(kCFURLFilePOSIXMode, "kCFURLFilePOSIXMode");

namespace {

void Report(SInt32 *errorCode, SInt32 code) {
    if (errorCode) *errorCode = code;
}

// The folder's items as URLs relative to the folder, each one's text the
// item's escaped name ("/"-terminated for a folder).
CFTypeRef CreateListing(CFAllocatorRef allocator, const std::string &path, SInt32 &code) {
    std::vector<vt::platform::DirectoryEntry> entries;
    code = vt::platform::ListDirectory(path.c_str(), entries);
    if (code != 0) return nullptr;
    CFRef<CFURLRef> folder(URLCreateWithAbsolutePath(allocator, path, true));
    CFRef<CFMutableArrayRef> items(
        CFArrayCreateMutable(allocator, CFIndex(entries.size()), &kCFTypeArrayCallBacks));
    if (!folder || !items) {
        code = kCFURLUnknownError;
        return nullptr;
    }
    std::string text;
    for (const auto &entry : entries) {
        text.clear();
        AppendEscapedSegment(text, entry.name.data(), entry.name.size());
        if (entry.isDirectory) text += '/';
        CFRef<CFURLRef> item(URLCreateWithText(allocator, text, folder.get()));
        if (!item) {
            code = kCFURLUnknownError;
            return nullptr;
        }
        CFArrayAppendValue(items.get(), item.get());
    }
    return items.Release();
}

CFTypeRef CreateProperty(CFAllocatorRef allocator, const std::string &path, CFStringRef key,
                         SInt32 &code) {
    code = 0;
    if (CFEqual(key, kCFURLFileExists)) {
        vt::platform::FileStatus status;
        return vt::platform::Stat(path.c_str(), status) == 0 ? kCFBooleanTrue : kCFBooleanFalse;
    }
    if (CFEqual(key, kCFURLFileDirectoryContents)) return CreateListing(allocator, path, code);
    bool length = CFEqual(key, kCFURLFileLength);
    bool time = CFEqual(key, kCFURLFileLastModificationTime);
    bool mode = CFEqual(key, kCFURLFilePOSIXMode);
    if (!length && !time && !mode) {
        code = kCFURLUnknownPropertyKeyError;
        return nullptr;
    }
    vt::platform::FileStatus status;
    code = vt::platform::Stat(path.c_str(), status);
    if (code != 0) return nullptr;
    CFTypeRef value = nullptr;
    if (length) {
        SInt64 size = status.size;
        value = CFNumberCreate(allocator, kCFNumberSInt64Type, &size);
    } else if (time) {
        value = CFDateCreate(allocator, status.modificationTime - kCFAbsoluteTimeIntervalSince1970);
    } else {
        SInt32 bits = SInt32(status.mode);
        value = CFNumberCreate(allocator, kCFNumberSInt32Type, &bits);
    }
    if (!value) code = kCFURLUnknownError;
    return value;
}

// Every key a listing of all properties returns.
CFStringRef const *AllKeys(CFIndex &count) {
    static const CFStringRef kKeys[] = {kCFURLFileExists, kCFURLFileDirectoryContents,
                                        kCFURLFileLength, kCFURLFileLastModificationTime,
                                        kCFURLFilePOSIXMode};
    count = CFIndex(sizeof kKeys / sizeof kKeys[0]);
    return kKeys;
}

bool ReadData(CFAllocatorRef allocator, const std::string &path, CFDataRef *data, SInt32 &code) {
    uint8_t *bytes = nullptr;
    size_t length = 0;
    code = vt::platform::ReadFile(path.c_str(), bytes, length);
    if (code != 0) return false;
    *data = CFDataCreateWithBytesNoCopy(allocator, bytes, CFIndex(length), kCFAllocatorMalloc);
    if (!*data) {
        std::free(bytes);
        code = kCFURLUnknownError;
        return false;
    }
    return true;
}

// Fills properties with each key that has a value. Asked for all keys, those
// that do not apply (a file's listing) are left out; asked for particular
// ones, code keeps the first failure.
bool ReadProperties(CFAllocatorRef allocator, const std::string &path, CFArrayRef desired,
                    CFDictionaryRef *properties, SInt32 &code) {
    CFRef<CFMutableDictionaryRef> result(CFDictionaryCreateMutable(
        allocator, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    if (!result) {
        code = kCFURLUnknownError;
        return false;
    }
    CFIndex count = 0;
    CFStringRef const *all = AllKeys(count);
    if (desired) count = CFArrayGetCount(desired);
    for (CFIndex i = 0; i < count; ++i) {
        CFStringRef key = desired ? Cast<CFStringRef>(CFArrayGetValueAtIndex(desired, i)) : all[i];
        SInt32 keyCode = kCFURLImproperArgumentsError;
        CFRef<CFTypeRef> value(key ? CreateProperty(allocator, path, key, keyCode) : nullptr);
        if (value)
            CFDictionarySetValue(result.get(), key, value.get());
        else if (desired && code == 0)
            code = keyCode;
    }
    *properties = result.Release();
    return code == 0;
}

// Only the permission bits can be written; anything else is refused before
// the resource is touched.
bool CheckWritableProperties(CFDictionaryRef properties, SInt32 &mode, SInt32 &code) {
    mode = -1;
    if (!properties) return true;
    if (!Cast<CFDictionaryRef>(properties)) {
        code = kCFURLImproperArgumentsError;
        return false;
    }
    CFIndex count = CFDictionaryGetCount(properties);
    std::vector<const void *> keys(static_cast<size_t>(count)), values(keys.size());
    CFDictionaryGetKeysAndValues(properties, keys.data(), values.data());
    for (CFIndex i = 0; i < count; ++i) {
        if (!CFEqual(keys[size_t(i)], kCFURLFilePOSIXMode)) {
            code = kCFURLUnknownPropertyKeyError;
            return false;
        }
        auto number = Cast<CFNumberRef>(values[size_t(i)]);
        if (!number || !CFNumberGetValue(number, kCFNumberSInt32Type, &mode) || mode < 0 ||
            mode > 07777) {
            code = kCFURLImproperArgumentsError;
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" {

CFTypeRef CFURLCreatePropertyFromResource(CFAllocatorRef alloc, CFURLRef url, CFStringRef property,
                                          SInt32 *errorCode) {
    Report(errorCode, 0);
    if (!Cast<CFStringRef>(property)) {
        Report(errorCode, kCFURLImproperArgumentsError);
        return nullptr;
    }
    CFTypeRef value = nullptr;
    SInt32 code = vt::Guard(SInt32(kCFURLUnknownError), [&] {
        std::string path;
        SInt32 status = URLFilePath(url, path);
        if (status == 0) value = CreateProperty(alloc, path, property, status);
        return status;
    });
    Report(errorCode, code);
    return value;
}

Boolean CFURLCreateDataAndPropertiesFromResource(CFAllocatorRef alloc, CFURLRef url,
                                                 CFDataRef *resourceData,
                                                 CFDictionaryRef *properties,
                                                 CFArrayRef desiredProperties, SInt32 *errorCode) {
    if (resourceData) *resourceData = nullptr;
    if (properties) *properties = nullptr;
    Report(errorCode, 0);
    if (desiredProperties && !Cast<CFArrayRef>(desiredProperties)) {
        Report(errorCode, kCFURLImproperArgumentsError);
        return false;
    }
    SInt32 code = vt::Guard(SInt32(kCFURLUnknownError), [&] {
        std::string path;
        SInt32 status = URLFilePath(url, path);
        if (status == 0 && resourceData) ReadData(alloc, path, resourceData, status);
        if (status == 0 && properties)
            ReadProperties(alloc, path, desiredProperties, properties, status);
        return status;
    });
    Report(errorCode, code);
    return code == 0;
}

Boolean CFURLWriteDataAndPropertiesToResource(CFURLRef url, CFDataRef dataToWrite,
                                              CFDictionaryRef propertiesToWrite,
                                              SInt32 *errorCode) {
    SInt32 code = vt::Guard(SInt32(kCFURLUnknownError), [&] {
        std::string path;
        SInt32 status = URLFilePath(url, path);
        SInt32 mode = -1;
        if (status != 0 || !CheckWritableProperties(propertiesToWrite, mode, status)) return status;
        if (CFURLHasDirectoryPath(url)) {
            status = vt::platform::MakeDirectory(path.c_str());
        } else if (auto data = Cast<CFDataRef>(dataToWrite)) {
            status = vt::platform::WriteFileAtomically(path.c_str(), CFDataGetBytePtr(data),
                                                       size_t(CFDataGetLength(data)));
        } else {
            status = kCFURLImproperArgumentsError;
        }
        if (status == 0 && mode >= 0) status = vt::platform::SetMode(path.c_str(), uint32_t(mode));
        return status;
    });
    Report(errorCode, code);
    return code == 0;
}

Boolean CFURLDestroyResource(CFURLRef url, SInt32 *errorCode) {
    SInt32 code = vt::Guard(SInt32(kCFURLUnknownError), [&] {
        std::string path;
        SInt32 status = URLFilePath(url, path);
        return status == 0 ? vt::platform::RemoveItem(path.c_str()) : status;
    });
    Report(errorCode, code);
    return code == 0;
}

} // extern "C"
