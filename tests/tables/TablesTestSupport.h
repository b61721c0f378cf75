// A fresh held document per test, and small readers for the tables' values.
#pragma once

#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "document/DocumentPrivate.h"
#include "platform/values/Holder.h"
#include "support/TestSupport.h"
#include "tables/TablesPrivate.h"

#include <string>

namespace vt::test {

class TablesTest : public testing::Test {
  protected:
    void SetUp() override {
        // A new empty document, completed with every table: tests that share
        // a process never see each other's entries.
        CFMutableDictionaryRef document = CFDictionaryCreateMutable(
            nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
        CFRef<CFMutableDictionaryRef> error(VTPrivate_DocumentSetDocument(document));
        ASSERT_EQ(error.get(), nullptr);
        error.Reset(VTPrivate_DocumentCreate(kCFAllocatorDefault));
        ASSERT_EQ(error.get(), nullptr);
    }

    static CFMutableDictionaryRef Document() { return VTPrivate_DocumentGetDocument(); }
    static CFMutableDictionaryRef Table(CFStringRef name) {
        return static_cast<CFMutableDictionaryRef>(
            const_cast<void *>(CFDictionaryGetValue(Document(), name)));
    }
    // Replaces a whole table by something else (NULL removes it).
    static void ReplaceTable(CFStringRef name, CFTypeRef value) {
        if (value)
            CFDictionarySetValue(Document(), name, value);
        else
            CFDictionaryRemoveValue(Document(), name);
    }

    static CFRef<CFURLRef> URL(const std::string &text) {
        CFRef<CFStringRef> string(
            CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8));
        return CFRef<CFURLRef>(CFURLCreateWithString(nullptr, string.get(), nullptr));
    }
    static CFRef<CFURLRef> FolderURL(const std::string &path) {
        CFRef<CFStringRef> string(
            CFStringCreateWithCString(nullptr, path.c_str(), kCFStringEncodingUTF8));
        return CFRef<CFURLRef>(
            CFURLCreateWithFileSystemPath(nullptr, string.get(), kCFURLPOSIXPathStyle, true));
    }

    TempFolder work_;
    ScopedWorkingDirectory cwd_{work_.Path()};
};

inline CFRef<CFStringRef> Str(const char *text) {
    return CFRef<CFStringRef>(CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8));
}

// The record's code and description as "code description", "<none>" for no
// record; the caller keeps ownership.
inline std::string Describe(CFDictionaryRef error) {
    if (!error) return "<none>";
    return std::to_string(VTU_ErrorGetCode(error)) + " " + StringOf(VTErrorGetDescription(error));
}

// As Describe, releasing the record.
inline std::string Take(CFMutableDictionaryRef error) {
    CFRef<CFMutableDictionaryRef> held(error);
    return Describe(error);
}

// As Take, for a record received through an out-argument: the slot is
// cleared for the next call.
inline std::string TakeOut(CFMutableDictionaryRef &slot) {
    std::string text = Take(slot);
    slot = nullptr;
    return text;
}

} // namespace vt::test
