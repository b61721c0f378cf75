// A fresh held document per test, and short readers for records and strings.
#pragma once

#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "document/DocumentPrivate.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"
#include "support/TestSupport.h"
#include "tables/TablesPrivate.h"

#include <string>
#include <utility>

namespace vt::test {

class TablesTest : public testing::Test {
  protected:
    // A new document with every table: tests sharing a process never meet.
    void SetUp() override {
        CFRef<CFMutableDictionaryRef> error(VTPrivate_DocumentSetDocument(CFDictionaryCreateMutable(
            nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks)));
        error.Reset(VTPrivate_DocumentCreate(nullptr));
        ASSERT_EQ(error.get(), nullptr);
    }
    static CFMutableDictionaryRef Document() { return VTPrivate_DocumentGetDocument(); }
    static CFMutableDictionaryRef Table(CFStringRef name) {
        return cf::CastMutable<CFMutableDictionaryRef>(CFDictionaryGetValue(Document(), name));
    }
    // Puts something else in a table's place; NULL removes the table.
    static void ReplaceTable(CFStringRef name, CFTypeRef value) {
        if (value)
            CFDictionarySetValue(Document(), name, value);
        else
            CFDictionaryRemoveValue(Document(), name);
    }
    static CFRef<CFURLRef> URL(const std::string &text, CFURLRef base = nullptr) {
        CFRef<CFStringRef> string(Str(text));
        return CFRef<CFURLRef>(CFURLCreateWithString(nullptr, string.get(), base));
    }
    static CFRef<CFURLRef> FolderURL(const std::string &path) {
        CFRef<CFStringRef> string(Str(path));
        return CFRef<CFURLRef>(
            CFURLCreateWithFileSystemPath(nullptr, string.get(), kCFURLPOSIXPathStyle, true));
    }
    static CFStringRef Str(const std::string &text) {
        return CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8);
    }

    TempFolder work_;
    ScopedWorkingDirectory cwd_{work_.Path()};
};

// "code description" of a record, which it releases; "<none>" for NULL.
inline std::string Take(CFMutableDictionaryRef error) {
    CFRef<CFMutableDictionaryRef> held(error);
    if (!error) return "<none>";
    return std::to_string(VTU_ErrorGetCode(error)) + " " + StringOf(VTErrorGetDescription(error));
}

// As Take, clearing the out-argument's slot for the next call.
inline std::string TakeOut(CFMutableDictionaryRef &slot) {
    return Take(std::exchange(slot, nullptr));
}

} // namespace vt::test
