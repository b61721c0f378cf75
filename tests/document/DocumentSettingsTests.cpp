// The framework bundle's Info.plist names the document file. Each case runs
// a copy of the framework with its own Info.plist in a child process.
#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "platform/values/Holder.h"
#include "support/FrameworkCopy.h"
#include "support/TestSupport.h"

#include <cstdio>
#include <string>

using vt::CFRef;

namespace {

const char kMinimalDocument[] = "<plist version=\"1.0\"><dict><key>ModuleDocumentVersion</key>"
                                "<string>loaded</string></dict></plist>";

// In the child: prints "ID|EXTENSION|LOADED|SAVED" from the copy's own
// functions, loading the document file and saving it back.
int ReportDocument(vt::test::LoadedCopy &copy) {
    auto getID = VT_COPY_FUNCTION(copy, VantrellGetDocumentPropertyListID);
    auto getExtension = VT_COPY_FUNCTION(copy, VantrellGetDocumentFileExtension);
    auto load = VT_COPY_FUNCTION(copy, VTPrivate_DocumentLoad);
    auto save = VT_COPY_FUNCTION(copy, VantrellSaveDocument);
    auto getCString = VT_COPY_FUNCTION(copy, CFStringGetCString);
    auto booleanValue = VT_COPY_FUNCTION(copy, CFBooleanGetValue);
    auto release = VT_COPY_FUNCTION(copy, CFRelease);
    char id[1024], extension[64];
    if (!getCString(getID(), id, sizeof id, kCFStringEncodingUTF8) ||
        !getCString(getExtension(), extension, sizeof extension, kCFStringEncodingUTF8))
        return 1;
    bool loaded = booleanValue(load(nullptr));
    CFMutableDictionaryRef error = save(nullptr);
    std::printf("%s|%s|%d|%d", id, extension, loaded, error == nullptr);
    if (error) release(error);
    return 0;
}

vt::test::ChildResult RunWith(CFDictionaryRef info, const std::string &workingDirectory) {
    vt::test::FrameworkCopy copy(info);
    if (!copy.Ok()) return {};
    vt::test::ScopedWorkingDirectory cwd(workingDirectory);
    return copy.Run(ReportDocument);
}

vt::test::ChildResult RunWith(std::initializer_list<std::pair<const char *, const char *>> info,
                              const std::string &workingDirectory) {
    CFRef<CFMutableDictionaryRef> dictionary(vt::test::CreateInfoDictionary(info));
    return RunWith(dictionary.get(), workingDirectory);
}

} // namespace

TEST(DocumentSettings, ShortOrMissingValuesFallBackToTheDefaults) {
    vt::test::TempFolder work;
    ASSERT_TRUE(vt::test::WriteFile(work.Join("info.library.module.mlix"), kMinimalDocument));

    vt::test::ChildResult result = RunWith({}, work.Path());
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "info.library.module|mlix|1|1");

    // 15 characters are too few for an ID; an empty extension is none.
    result = RunWith(
        {{"ModuleDocumentPropertyListID", "abcdefghijklmno"}, {"ModuleDocumentFileExtension", ""}},
        work.Path());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "info.library.module|mlix|1|1");
    EXPECT_FALSE(vt::test::Exists(work.Join("abcdefghijklmno.mlix")));

    // Values that are not strings are ignored.
    CFRef<CFMutableDictionaryRef> info(vt::test::CreateInfoDictionary());
    int number = 12345678;
    CFRef<CFNumberRef> value(CFNumberCreate(nullptr, kCFNumberIntType, &number));
    CFDictionarySetValue(info.get(), kVTKeyModuleDocumentPropertyListID, value.get());
    CFDictionarySetValue(info.get(), kVTKeyModuleDocumentFileExtension, kCFBooleanTrue);
    result = RunWith(info.get(), work.Path());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "info.library.module|mlix|1|1");
}

TEST(DocumentSettings, LongEnoughValuesNameTheFile) {
    vt::test::TempFolder work;
    ASSERT_TRUE(vt::test::WriteFile(work.Join("abcdefghijklmnop.doc"), kMinimalDocument));
    vt::test::ChildResult result = RunWith({{"ModuleDocumentPropertyListID", "abcdefghijklmnop"},
                                            {"ModuleDocumentFileExtension", "doc"}},
                                           work.Path());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "abcdefghijklmnop|doc|1|1");
    EXPECT_FALSE(vt::test::Exists(work.Join("info.library.module.mlix")));
}

TEST(DocumentSettings, AnAbsolutePathIDPlacesTheFileAnywhere) {
    vt::test::TempFolder work;
    vt::test::TempFolder elsewhere;
    std::string id = elsewhere.Join("documents/library");
    ASSERT_TRUE(vt::test::MakeFolders(elsewhere.Join("documents")));
    vt::test::ChildResult result =
        RunWith({{"ModuleDocumentPropertyListID", id.c_str()}}, work.Path());
    EXPECT_EQ(result.status, 0) << result.err;
    // Nothing to load yet; the save fails for want of a document and
    // writes nothing.
    EXPECT_EQ(result.out, id + "|mlix|0|0");

    ASSERT_TRUE(vt::test::WriteFile(id + ".mlix", kMinimalDocument));
    result = RunWith({{"ModuleDocumentPropertyListID", id.c_str()}}, work.Path());
    EXPECT_EQ(result.out, id + "|mlix|1|1");
    EXPECT_NE(vt::test::ReadFile(id + ".mlix").find("<string>loaded</string>"), std::string::npos);
}
