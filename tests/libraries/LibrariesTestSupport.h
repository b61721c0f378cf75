// Shared by the library suites: a held document in a fresh working folder,
// and short ways to read records, error records and strings.
#pragma once

#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "document/DocumentPrivate.h"
#include "libraries/LibrariesPrivate.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"
#include "support/TestSupport.h"

#include <string>
#include <vector>

namespace vt::test::libraries {

using vt::test::StringOf;

// An error record's description, "<no record>" for NULL.
inline std::string Said(CFDictionaryRef record) {
    return record ? StringOf(VTErrorGetDescription(record)) : "<no record>";
}

inline CFIndex Code(CFDictionaryRef record) {
    return VTU_ErrorGetCode(record);
}

inline CFDictionaryRef Dictionary(CFTypeRef value) {
    return cf::Cast<CFDictionaryRef>(value);
}

inline CFArrayRef Array(CFTypeRef value) {
    return cf::Cast<CFArrayRef>(value);
}

inline CFMutableDictionaryRef NewDictionary() {
    return CFDictionaryCreateMutable(nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

// A top-level table of the held document (borrowed).
inline CFDictionaryRef TableOf(CFStringRef name) {
    return Dictionary(VTPrivate_DocumentValueGet(name));
}

// The record filed under the library ID (borrowed), or NULL.
inline CFDictionaryRef RecordOf(CFStringRef libraryID) {
    return Dictionary(CFDictionaryGetValue(TableOf(kVTTopLevelKeyLibraries), libraryID));
}

// The record's array under the key as texts, in order.
inline std::vector<std::string> Texts(CFTypeRef array) {
    std::vector<std::string> texts;
    CFArrayRef values = Array(array);
    for (CFIndex i = 0; values && i < CFArrayGetCount(values); ++i)
        texts.push_back(StringOf(CFArrayGetValueAtIndex(values, i)));
    return texts;
}

// A folder URL (directory) for a POSIX path.
inline CFURLRef NewFolderURL(const std::string &path) {
    CFRef<CFStringRef> text(
        CFStringCreateWithCString(nullptr, path.c_str(), kCFStringEncodingUTF8));
    return CFURLCreateWithFileSystemPath(nullptr, text.get(), kCFURLPOSIXPathStyle, true);
}

inline CFStringRef NewString(const std::string &text) {
    return CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8);
}

// Each test runs in its own process, in a folder of its own, with the domain
// folders mapped under a temporary root.
class LibrariesTest : public testing::Test {
  protected:
    void SetUp() override { SetDomainRoot(domains_.Path()); }
    void TearDown() override { SetDomainRoot(""); }

    // Creates the held document; false on failure.
    static bool CreateDocument() {
        CFRef<CFMutableDictionaryRef> error(VTPrivate_DocumentCreate(kCFAllocatorDefault));
        return !error;
    }

    // Makes and registers a library; returns its ID (a new reference), or
    // NULL after a failed expectation.
    static CFRef<CFStringRef> Register(CFStringRef parentID, CFStringRef libraryID,
                                       CFStringRef title = nullptr, CFURLRef folder = nullptr,
                                       CFIndex options = 0) {
        CFRef<CFMutableDictionaryRef> error;
        CFRef<CFStringRef> descriptionID(
            VTLibraryDescriptionCreateMinimal(nullptr, parentID, libraryID, title, error.Out()));
        EXPECT_TRUE(descriptionID) << Said(error.get());
        if (!descriptionID) return {};
        if (folder) {
            CFRef<CFNumberRef> bits(VTU_NumberCreateWithCFIndex(nullptr, options));
            error.Reset(VTLibraryDescriptionSetFolderInfoWithURL(nullptr, descriptionID.get(),
                                                                 folder, bits.get()));
            EXPECT_FALSE(error) << Said(error.get());
        }
        CFRef<CFStringRef> registered;
        error.Reset(VTDocumentRegisterLibrary(nullptr, descriptionID.get(), registered.Out()));
        EXPECT_FALSE(error) << Said(error.get());
        return registered;
    }

    TempFolder domains_;
    TempFolder work_;
    ScopedWorkingDirectory cwd_{work_.Path()};
};

} // namespace vt::test::libraries
