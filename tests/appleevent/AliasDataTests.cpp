// Alias data: making it from files and resolving it back to URLs.
#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "appleevent/AppleEventTestSupport.h"
#include "support/TestSupport.h"

#include <cstdio>

using vt::CFRef;

namespace {

// Resolves the data; code is that of the record stored, 0 when none.
CFRef<CFURLRef> CopyURL(CFDataRef data, CFIndex &code) {
    CFMutableDictionaryRef error = nullptr;
    CFRef<CFURLRef> url(VTAliasDataCopyURL(nullptr, data, &error));
    code = error ? VTU_ErrorGetCode(error) : 0;
    if (error) {
        EXPECT_EQ(vt::test::StringOf(VTErrorGetDomain(error)), "ErrorDomainOSStatus");
        EXPECT_EQ(vt::test::StringOf(VTErrorGetDescription(error)),
                  "VTAliasDataCopyURL:: problem.");
        CFRelease(error);
    }
    return url;
}

CFRef<CFDataRef> Data(const std::string &bytes) {
    return CFRef<CFDataRef>(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()),
                                         CFIndex(bytes.size())));
}

} // namespace

TEST(AliasData, RoundTripsFilesAndFolders) {
    vt::test::TempFolder folder;
    const std::string file = folder.Join("script file");
    const std::string sub = folder.Join("Modules");
    ASSERT_TRUE(vt::test::WriteFile(file, "x"));
    ASSERT_TRUE(vt::test::MakeFolders(sub));
    CFIndex code = -1;
    for (const std::string &path : {file, sub}) {
        CFRef<CFDataRef> data(VTAliasDataCreateWithFileURL(nullptr, vt::test::FileURL(path).get()));
        ASSERT_TRUE(data) << path;
        CFRef<CFURLRef> url = CopyURL(data.get(), code);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(vt::test::PathOf(url.get()), vt::test::Canonical(path));
        EXPECT_EQ(bool(CFURLHasDirectoryPath(url.get())), path == sub);
    }
}

TEST(AliasData, ResolutionFailsOnceTheFileIsRemovedOrReplaced) {
    vt::test::TempFolder folder;
    const std::string removed = folder.Join("removed"), replaced = folder.Join("replaced");
    ASSERT_TRUE(vt::test::WriteFile(removed, "x") && vt::test::WriteFile(replaced, "x"));
    CFRef<CFDataRef> removedData(
        VTAliasDataCreateWithFileURL(nullptr, vt::test::FileURL(removed).get()));
    CFRef<CFDataRef> replacedData(
        VTAliasDataCreateWithFileURL(nullptr, vt::test::FileURL(replaced).get()));
    ASSERT_TRUE(removedData && replacedData);

    ASSERT_EQ(std::remove(removed.c_str()), 0);
    // Written aside first, so that the file at the path is a new one.
    ASSERT_TRUE(vt::test::WriteFile(folder.Join("other"), "y"));
    ASSERT_EQ(std::rename(folder.Join("other").c_str(), replaced.c_str()), 0);
    CFIndex code = 0;
    EXPECT_FALSE(CopyURL(removedData.get(), code));
    EXPECT_EQ(code, fnfErr);
    EXPECT_FALSE(CopyURL(replacedData.get(), code));
    EXPECT_EQ(code, fnfErr);
}

TEST(AliasData, CreationGivesNullWithoutAnExistingFile) {
    vt::test::TempFolder folder;
    CFRef<CFURLRef> http(CFURLCreateWithString(nullptr, CFSTR("http://example.com/f"), nullptr));
    CFRef<CFURLRef> relative(CFURLCreateWithString(nullptr, CFSTR("f"), nullptr));
    CFRef<CFURLRef> missing = vt::test::FileURL(folder.Join("no"));
    for (CFURLRef url : {http.get(), relative.get(), missing.get(), CFURLRef(nullptr),
                         reinterpret_cast<CFURLRef>(CFSTR("f"))})
        EXPECT_EQ(VTAliasDataCreateWithFileURL(nullptr, url), nullptr);
    FSRef zeroed = {};
    EXPECT_EQ(VTAliasDataCreateWithFSSpec(nullptr, &zeroed), nullptr);
    EXPECT_EQ(VTAliasDataCreateWithFSSpec(nullptr, nullptr), nullptr);
}

TEST(AliasData, BadOrMissingDataGivesNullAndARecord) {
    vt::test::TempFolder folder;
    ASSERT_TRUE(vt::test::WriteFile(folder.Join("f"), "x"));
    CFRef<CFDataRef> good(
        VTAliasDataCreateWithFileURL(nullptr, vt::test::FileURL(folder.Join("f")).get()));
    ASSERT_TRUE(good);
    const std::string bytes(reinterpret_cast<const char *>(CFDataGetBytePtr(good.get())),
                            size_t(CFDataGetLength(good.get())));
    CFIndex code = 0;
    for (const std::string &bad :
         {std::string(), std::string("not an alias record"), bytes.substr(0, 40), bytes + "tail"}) {
        EXPECT_FALSE(CopyURL(Data(bad).get(), code)) << bad.size();
        EXPECT_EQ(code, nsvErr) << bad.size();
    }
    EXPECT_FALSE(CopyURL(nullptr, code));
    EXPECT_EQ(code, paramErr);
    EXPECT_FALSE(CopyURL(reinterpret_cast<CFDataRef>(CFSTR("data")), code));
    EXPECT_EQ(code, paramErr);
    EXPECT_EQ(VTAliasDataCopyURL(nullptr, nullptr, nullptr), nullptr);
}
