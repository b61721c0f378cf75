/*
 * Vantrell.hpp: an optional C++17 layer over the C API, header only (it adds
 * nothing to link). Ref<T> owns one reference and releases it; Error carries
 * an error record's code, domain and description; the wrappers below turn
 * the common calls' error records into thrown Errors and their Create/Copy
 * results into Refs.
 */
#ifndef VANTRELL_VANTRELL_HPP
#define VANTRELL_VANTRELL_HPP

#if !defined(__cplusplus) || __cplusplus < 201703L
#error "Vantrell.hpp needs C++17 or later; C hosts include <Vantrell/Vantrell.h>"
#endif

#include <Vantrell/Vantrell.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrell {

/* Owns one reference to a platform value: releases it when destroyed or
 * replaced. Move-only, so a reference is released exactly once. */
template <typename T>
class Ref {
  public:
    Ref() noexcept = default;
    /* Takes over a reference the caller owns (a Create or Copy result). */
    explicit Ref(T value) noexcept : value_(value) {}
    /* Retains a borrowed reference (a Get result) and owns the new one. */
    static Ref Retain(T value) noexcept {
        if (value) CFRetain(value);
        return Ref(value);
    }

    Ref(const Ref &) = delete;
    Ref &operator=(const Ref &) = delete;
    Ref(Ref &&other) noexcept : value_(other.Release()) {}
    Ref &operator=(Ref &&other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ~Ref() { Reset(); }

    T Get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != nullptr; }
    /* Gives up ownership: the caller now releases the value. */
    T Release() noexcept { return std::exchange(value_, nullptr); }
    /* Releases the held value and owns the given one instead. */
    void Reset(T value = nullptr) noexcept {
        T old = std::exchange(value_, value);
        if (old) CFRelease(old);
    }

  private:
    T value_ = nullptr;
};

/* The UTF-8 text of a string; empty for NULL. */
inline std::string ToString(CFStringRef string) {
    if (!string) return {};
    CFIndex size =
        CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8) + 1;
    std::string text(static_cast<size_t>(size), '\0');
    if (!CFStringGetCString(string, text.data(), size, kCFStringEncodingUTF8)) return {};
    text.resize(std::char_traits<char>::length(text.c_str()));
    return text;
}

/* A new string holding the UTF-8 text; empty Ref when the bytes are not UTF-8. */
inline Ref<CFStringRef> MakeString(std::string_view text) {
    return Ref<CFStringRef>(
        CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8 *>(text.data()),
                                static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8, false));
}

/* A new file URL for a folder's POSIX path. */
inline Ref<CFURLRef> MakeFolderURL(std::string_view path) {
    Ref<CFStringRef> string = MakeString(path);
    if (!string) return {};
    return Ref<CFURLRef>(CFURLCreateWithFileSystemPath(kCFAllocatorDefault, string.Get(),
                                                       kCFURLPOSIXPathStyle, true));
}

/* A failure reported by the framework, copied out of its error record. */
class Error : public std::runtime_error {
  public:
    Error(CFIndex code, std::string domain, std::string description)
        : std::runtime_error(Message(code, domain, description)), code_(code),
          domain_(std::move(domain)), description_(std::move(description)) {}

    /* Reads the record (which stays the caller's). */
    static Error FromRecord(CFDictionaryRef record) {
        return Error(VTU_ErrorGetCode(record), ToString(VTErrorGetDomain(record)),
                     ToString(VTErrorGetDescription(record)));
    }

    CFIndex Code() const noexcept { return code_; }
    const std::string &Domain() const noexcept { return domain_; }
    const std::string &Description() const noexcept { return description_; }

  private:
    static std::string Message(CFIndex code, const std::string &domain,
                               const std::string &description) {
        std::string message = domain + " " + std::to_string(code);
        if (!description.empty()) message += ": " + description;
        return message;
    }

    CFIndex code_;
    std::string domain_;
    std::string description_;
};

/* Takes over a record returned by a C call: releases it, and throws it as an
 * Error when there is one. */
inline void ThrowIfError(CFMutableDictionaryRef record) {
    Ref<CFMutableDictionaryRef> owned(record);
    if (owned) throw Error::FromRecord(owned.Get());
}

/* VantrellLoadDocument: start-up, once, before any other call. */
inline void LoadDocument(CFDictionaryRef options = nullptr) {
    ThrowIfError(VantrellLoadDocument(kCFAllocatorDefault, options));
}

/* VantrellSaveDocument: writes the whole document file. */
inline void SaveDocument() {
    ThrowIfError(VantrellSaveDocument(kCFAllocatorDefault));
}

/* Describes a library under parentID with the given title and folder and
 * registers it; libraryID NULL makes a fresh ID. Returns the registered ID. */
inline Ref<CFStringRef> RegisterLibrary(CFStringRef parentID, CFStringRef title, CFURLRef folder,
                                        CFStringRef libraryID = nullptr) {
    CFMutableDictionaryRef record = nullptr;
    Ref<CFStringRef> descriptionID(VTLibraryDescriptionCreateMinimal(kCFAllocatorDefault, parentID,
                                                                     libraryID, title, &record));
    ThrowIfError(record);
    if (!descriptionID) throw Error(-4960, "", "Can't make a library description.");
    if (folder)
        ThrowIfError(VTLibraryDescriptionSetFolderInfoWithURL(
            kCFAllocatorDefault, descriptionID.Get(), folder, nullptr));
    CFStringRef registered = nullptr;
    record = VTDocumentRegisterLibrary(kCFAllocatorDefault, descriptionID.Get(), &registered);
    Ref<CFStringRef> registeredID(registered);
    ThrowIfError(record);
    return registeredID;
}

/* VTLibraryRegisterSubfolders: one child library per new subfolder. */
inline void RegisterSubfolders(CFStringRef libraryID) {
    ThrowIfError(VTLibraryRegisterSubfolders(kCFAllocatorDefault, libraryID));
}

/* The IDs of every registered library. */
inline std::vector<std::string> CopyLibraryIDs() {
    CFMutableDictionaryRef record = nullptr;
    Ref<CFArrayRef> ids(VTDocumentCopyLibraryIDs(kCFAllocatorDefault, &record));
    ThrowIfError(record);
    std::vector<std::string> result;
    if (!ids) return result;
    CFIndex count = CFArrayGetCount(ids.Get());
    result.reserve(static_cast<size_t>(count));
    for (CFIndex i = 0; i < count; ++i)
        result.push_back(ToString(static_cast<CFStringRef>(CFArrayGetValueAtIndex(ids.Get(), i))));
    return result;
}

/* The library's property under the key, borrowed; NULL when the set lacks it. */
inline CFTypeRef PropertyGetValue(CFStringRef libraryID, CFStringRef key) {
    CFMutableDictionaryRef record = nullptr;
    CFTypeRef value = VTLibraryPropertyGetValue(kCFAllocatorDefault, libraryID, key, &record);
    ThrowIfError(record);
    return value;
}

/* The library's string property under the key; nothing when absent or not a
 * string. */
inline std::optional<std::string> PropertyGetString(std::string_view libraryID, CFStringRef key) {
    Ref<CFStringRef> id = MakeString(libraryID);
    CFTypeRef value = PropertyGetValue(id.Get(), key);
    if (!value || CFGetTypeID(value) != CFStringGetTypeID()) return std::nullopt;
    return ToString(static_cast<CFStringRef>(value));
}

} // namespace vantrell

#endif /* VANTRELL_VANTRELL_HPP */
