// File entries: owners, folder contents lists, registration by URL and by ID,
// and the exported accessors.
#include "tables/TablesTestSupport.h"

#include <cstdio>

using vt::CFRef;
using vt::test::StringOf;
using vt::test::Take;
using vt::test::TakeOut;

namespace {

class FileEntries : public vt::test::TablesTest {
  protected:
    static CFMutableDictionaryRef Files() { return Table(kVTTopLevelKeyFiles); }
    // A string, or the strings of an array joined by ",", under the key.
    static std::string Value(CFStringRef fileID, CFStringRef key) {
        CFTypeRef value = VTFileGetValue(nullptr, fileID, key, nullptr);
        CFArrayRef array = vt::cf::Cast<CFArrayRef>(value);
        if (!array) return StringOf(vt::cf::Cast<CFStringRef>(value));
        std::string text;
        for (CFIndex i = 0; i < CFArrayGetCount(array); ++i)
            text += (i ? "," : "") +
                    StringOf(vt::cf::Cast<CFStringRef>(CFArrayGetValueAtIndex(array, i)));
        return text;
    }
    static std::string Contents(CFStringRef id) { return Value(id, kCFURLFileDirectoryContents); }
    CFRef<CFStringRef> Register(CFURLRef url, const char *owner) {
        CFMutableDictionaryRef error = nullptr;
        CFRef<CFStringRef> libraryID(Str(owner));
        CFRef<CFStringRef> id(
            VTPrivate_FilesSetFileInfoEntryForURL(nullptr, url, libraryID.get(), &error));
        EXPECT_EQ(TakeOut(error), "<none>");
        return id;
    }
};

TEST_F(FileEntries, FailuresLeaveBothTablesAlone) {
    CFRef<CFURLRef> url = FolderURL(work_.Path());
    CFMutableDictionaryRef error = nullptr;
    EXPECT_EQ(VTFileGetValue(nullptr, nullptr, kVTKeyKind, &error), nullptr);
    EXPECT_EQ(TakeOut(error), "-50 VTFileGetValue:: Required input parameter is NULL.");
    EXPECT_EQ(Take(VTFileSetValue(nullptr, CFSTR("id"), CFSTR("k"), nullptr)),
              "-50 VTFileSetValue:: Required input parameter is NULL.");

    EXPECT_EQ(VTPrivate_FilesSetFileInfoEntryForURL(nullptr, URL("").get(), CFSTR("A"), &error),
              nullptr);
    EXPECT_EQ(TakeOut(error), "-4960 UUID creation failed.");

    CFRef<CFStringRef> fileID = Register(url.get(), "A");
    EXPECT_EQ(Take(VTFileSetValue(nullptr, fileID.get(), CFSTR("k"), url.get())),
              "-50 VTFileSetValue:: Value is not a property-list type.");
    // Unknown IDs and entries of the wrong type are no entries; without a map
    // text nothing is created for them.
    CFDictionarySetValue(Files(), CFSTR("odd"), CFSTR("not an entry"));
    for (CFStringRef id : {CFSTR("unknown"), CFSTR("odd")}) {
        EXPECT_EQ(VTFileGetValue(nullptr, id, kVTKeyKind, &error), nullptr);
        EXPECT_EQ(TakeOut(error), "-4960 VTFileGetValue: Can't find container.");
        EXPECT_EQ(Take(VTFileSetValue(nullptr, id, CFSTR("k"), CFSTR("v"))),
                  "-4960 VTFileSetValue: Can't find container.");
        EXPECT_EQ(VTPrivate_FilesSetFileInfoEntryForID(nullptr, id, CFSTR("A")), nullptr);
    }
    EXPECT_EQ(CFDictionaryGetCount(Files()), 2);

    // Without a Files table nothing is registered, in the map either.
    CFIndex mapped = CFDictionaryGetCount(Table(kVTTopLevelKeyMap));
    ReplaceTable(kVTTopLevelKeyFiles, CFSTR("not a table"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(Take(VTPrivate_FilesSetFileInfoEntryForID(nullptr, fileID.get(), CFSTR("B"))),
              "-4960 VTPrivate_FilesSetFileInfoEntryForID: Can't find container.");
    CFRef<CFURLRef> other = FolderURL(work_.Join("other"));
    EXPECT_EQ(VTPrivate_FilesSetFileInfoEntryForURL(nullptr, other.get(), CFSTR("B"), &error),
              nullptr);
    EXPECT_EQ(TakeOut(error), "-4960 VTPrivate_FilesSetFileInfoEntryForURL: Can't find container.");
    std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_NE(shown.find("VTPrivate_GetFiles: Can't find container."), std::string::npos);
    EXPECT_EQ(CFDictionaryGetCount(Table(kVTTopLevelKeyMap)), mapped);
}

TEST_F(FileEntries, FolderContentsListLeavesOutOnlyTheFolderSettingsFile) {
    std::string folder = work_.Join("Modules");
    ASSERT_TRUE(vt::test::MakeFolders(folder + "/Sub"));
    for (const char *name : {"a.scpt", ".DS_Store", ".hidden", ".ds_store"})
        ASSERT_TRUE(vt::test::WriteFile(folder + "/" + name, "x"));
    CFRef<CFStringRef> fileID = Register(FolderURL(folder).get(), "A");
    EXPECT_EQ(Contents(fileID.get()), ".ds_store,.hidden,Sub/,a.scpt");
    EXPECT_EQ(Value(fileID.get(), kVTKeyKind), "FileInfo");
    EXPECT_EQ(StringOf(VTFileGetURL(fileID.get())), "file://" + folder + "/");
    // A plain file and a missing path: "Kind" and "Owners" only.
    for (std::string path : {folder + "/a.scpt", folder + "/missing"}) {
        CFRef<CFStringRef> id = Register(FolderURL(path).get(), "A");
        EXPECT_EQ(CFDictionaryGetCount(VTPrivate_GetOneFile(nullptr, id.get())), 2) << path;
    }
}

TEST_F(FileEntries, OwnersAreAddedOnceAndMadeAnewWhenLost) {
    CFRef<CFURLRef> url = FolderURL(work_.Path());
    CFRef<CFStringRef> fileID = Register(url.get(), "A");
    EXPECT_TRUE(CFEqual(Register(url.get(), "B").get(), fileID.get()));
    Register(url.get(), "A");
    EXPECT_EQ(VTPrivate_FilesSetFileInfoEntryForID(nullptr, fileID.get(), CFSTR("B")), nullptr);
    EXPECT_EQ(Value(fileID.get(), kVTKeyOwners), "A,B");
    CFMutableDictionaryRef entry = VTPrivate_GetOneFile(nullptr, fileID.get());
    CFDictionaryRemoveValue(entry, kVTKeyOwners);
    EXPECT_EQ(VTPrivate_FilesSetFileInfoEntryForID(nullptr, fileID.get(), CFSTR("D")), nullptr);
    EXPECT_EQ(Value(fileID.get(), kVTKeyOwners), "D");
    CFDictionarySetValue(entry, kVTKeyOwners, CFSTR("A"));
    Register(url.get(), "E");
    EXPECT_EQ(Value(fileID.get(), kVTKeyOwners), "E");
    // By ID, a file the map knows gets its entry built from the map's text.
    CFDictionaryRemoveValue(Files(), fileID.get());
    EXPECT_EQ(VTPrivate_FilesSetFileInfoEntryForID(nullptr, fileID.get(), CFSTR("F")), nullptr);
    EXPECT_EQ(Value(fileID.get(), kVTKeyOwners), "F");
}

TEST_F(FileEntries, RegisteringAgainRefreshesTheEntryInPlace) {
    std::string folder = work_.Join("Lib");
    ASSERT_TRUE(vt::test::MakeFolders(folder) && vt::test::WriteFile(folder + "/1.scpt", "x"));
    CFRef<CFURLRef> url = FolderURL(folder);
    CFRef<CFStringRef> fileID = Register(url.get(), "A");
    // What library registration and the host store in the entry.
    CFMutableDictionaryRef entry = VTPrivate_GetOneFile(nullptr, fileID.get());
    CFDictionarySetValue(entry, kVTKeyKind, kVTKindFolderInfo);
    CFDictionarySetValue(entry, kVTFileInfoKeyPOSIXPath, CFSTR("/path"));
    CFRef<CFMutableStringRef> note(CFStringCreateMutableCopy(nullptr, 0, CFSTR("keep")));
    EXPECT_EQ(VTFileSetValue(nullptr, fileID.get(), CFSTR("Note"), note.get()), nullptr);
    CFStringAppend(note.get(), CFSTR(" changed later"));

    ASSERT_TRUE(vt::test::WriteFile(folder + "/2.scpt", "x"));
    EXPECT_EQ(VTPrivate_FilesSetFileInfoEntryForID(nullptr, fileID.get(), CFSTR("B")), nullptr);
    EXPECT_EQ(Contents(fileID.get()), "1.scpt");
    Register(url.get(), "B");
    EXPECT_EQ(Contents(fileID.get()), "1.scpt,2.scpt");
    for (auto [key, expected] : {std::pair{kVTKeyOwners, "A,B"},
                                 {kVTKeyKind, "FolderInfo"},
                                 {kVTFileInfoKeyPOSIXPath, "/path"},
                                 {CFSTR("Note"), "keep"}})
        EXPECT_EQ(Value(fileID.get(), key), expected) << StringOf(key);

    // Once the folder is gone, a refresh keeps the old list and a
    // registration drops it.
    for (const char *path : {"/1.scpt", "/2.scpt", ""})
        ASSERT_EQ(std::remove((folder + path).c_str()), 0);
    EXPECT_EQ(VTPrivate_FilesUpdateFileInfo(nullptr, entry, url.get()), nullptr);
    EXPECT_EQ(Contents(fileID.get()), "1.scpt,2.scpt");
    Register(url.get(), "A");
    EXPECT_EQ(Contents(fileID.get()), "<null>");
}

} // namespace
