// File entries: owners, folder contents lists, registration by URL and by ID,
// and the exported accessors.
#include "tables/TablesTestSupport.h"

#include <cstdio>

using vt::CFRef;
using vt::test::Str;
using vt::test::StringOf;
using vt::test::Take;
using vt::test::TakeOut;

namespace {

class FileEntries : public vt::test::TablesTest {
  protected:
    static CFMutableDictionaryRef Files() { return Table(kVTTopLevelKeyFiles); }

    // The entry's array under the key as "a,b,c"; "<none>" when absent.
    static std::string List(CFStringRef fileID, CFStringRef key) {
        CFTypeRef value = VTFileGetValue(nullptr, fileID, key, nullptr);
        if (!value || CFGetTypeID(value) != CFArrayGetTypeID()) return "<none>";
        auto array = static_cast<CFArrayRef>(value);
        std::string text;
        for (CFIndex i = 0; i < CFArrayGetCount(array); ++i)
            text += (i ? "," : "") +
                    StringOf(static_cast<CFStringRef>(CFArrayGetValueAtIndex(array, i)));
        return text;
    }
    static std::string Owners(CFStringRef fileID) { return List(fileID, kVTKeyOwners); }
    static std::string Contents(CFStringRef fileID) {
        return List(fileID, kCFURLFileDirectoryContents);
    }
    static std::string Kind(CFStringRef fileID) {
        return StringOf(
            static_cast<CFStringRef>(VTFileGetValue(nullptr, fileID, kVTKeyKind, nullptr)));
    }

    CFRef<CFStringRef> Register(CFURLRef url, const char *owner) {
        CFMutableDictionaryRef error = nullptr;
        CFRef<CFStringRef> fileID(
            VTPrivate_FilesSetFileInfoEntryForURL(nullptr, url, Str(owner).get(), &error));
        EXPECT_EQ(TakeOut(error), "<none>");
        return fileID;
    }
};

TEST_F(FileEntries, FailuresLeaveBothTablesAlone) {
    CFRef<CFURLRef> url = FolderURL(work_.Path());
    CFMutableDictionaryRef error = nullptr;

    // Missing arguments.
    EXPECT_EQ(VTFileGetValue(nullptr, nullptr, kVTKeyKind, &error), nullptr);
    EXPECT_EQ(TakeOut(error), "-50 VTFileGetValue:: Required input parameter is NULL.");
    EXPECT_EQ(Take(VTFileSetValue(nullptr, CFSTR("id"), nullptr, CFSTR("v"))),
              "-50 VTFileSetValue:: Required input parameter is NULL.");
    EXPECT_EQ(Take(VTFileSetValue(nullptr, CFSTR("id"), CFSTR("k"), nullptr)),
              "-50 VTFileSetValue:: Required input parameter is NULL.");
    EXPECT_EQ(Take(VTPrivate_FilesSetFileInfoEntryForID(nullptr, nullptr, CFSTR("A"))),
              "-50 Required input parameter is NULL.");
    EXPECT_EQ(Take(VTPrivate_FilesUpdateFileInfo(nullptr, nullptr, url.get())),
              "-50 Required input parameter is NULL.");
    EXPECT_EQ(VTPrivate_FilesCreateFileInfo(nullptr, url.get(), nullptr, &error), nullptr);
    EXPECT_EQ(TakeOut(error), "-50 Required input parameter is NULL.");
    EXPECT_EQ(VTPrivate_FilesSetFileInfoEntryForURL(nullptr, nullptr, CFSTR("A"), &error), nullptr);
    EXPECT_EQ(error, nullptr);
    EXPECT_EQ(VTU_URLCopyFileInfo(nullptr, nullptr, kCFURLFileExists, &error), nullptr);
    EXPECT_EQ(error, nullptr);

    // A value the document cannot hold is refused by name.
    CFRef<CFStringRef> fileID = Register(url.get(), "A");
    ASSERT_TRUE(fileID);
    EXPECT_EQ(Take(VTFileSetValue(nullptr, fileID.get(), CFSTR("k"), url.get())),
              "-50 VTFileSetValue:: Value is not a property-list type.");
    EXPECT_EQ(VTFileGetValue(nullptr, fileID.get(), CFSTR("k"), &error), nullptr);
    EXPECT_EQ(error, nullptr);

    // Unknown IDs, and entries of the wrong type, are no entries.
    CFDictionarySetValue(Files(), CFSTR("odd"), CFSTR("not an entry"));
    for (CFStringRef id : {CFSTR("unknown"), CFSTR("odd")}) {
        SCOPED_TRACE(StringOf(id));
        EXPECT_EQ(VTFileGetValue(nullptr, id, kVTKeyKind, &error), nullptr);
        EXPECT_EQ(TakeOut(error), "-4960 VTFileGetValue: Can't find container.");
        EXPECT_EQ(Take(VTFileSetValue(nullptr, id, CFSTR("k"), CFSTR("v"))),
                  "-4960 VTFileSetValue: Can't find container.");
        // No map text for the ID: nothing is created.
        EXPECT_EQ(VTPrivate_FilesSetFileInfoEntryForID(nullptr, id, CFSTR("A")), nullptr);
    }
    EXPECT_EQ(CFDictionaryGetCount(Files()), 2);
    EXPECT_EQ(VTFileGetURL(CFSTR("unknown")), nullptr);

    // Without a Files table nothing is registered, in the map either.
    CFIndex mapCount = CFDictionaryGetCount(Table(kVTTopLevelKeyMap));
    ReplaceTable(kVTTopLevelKeyFiles, CFSTR("not a table"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(Take(VTPrivate_FilesSetFileInfoEntryForID(nullptr, fileID.get(), CFSTR("B"))),
              "-4960 VTPrivate_FilesSetFileInfoEntryForID: Can't find container.");
    CFRef<CFURLRef> other = FolderURL(work_.Join("other"));
    EXPECT_EQ(VTPrivate_FilesSetFileInfoEntryForURL(nullptr, other.get(), CFSTR("B"), &error),
              nullptr);
    EXPECT_EQ(TakeOut(error), "-4960 VTPrivate_FilesSetFileInfoEntryForURL: Can't find container.");
    EXPECT_EQ(VTFileGetValue(nullptr, fileID.get(), kVTKeyKind, &error), nullptr);
    EXPECT_EQ(TakeOut(error), "-4960 VTFileGetValue: Can't find container.");
    EXPECT_EQ(VTPrivate_GetFiles(nullptr), nullptr);
    std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_NE(shown.find("VTPrivate_GetFiles: Can't find container."), std::string::npos);
    EXPECT_EQ(CFDictionaryGetCount(Table(kVTTopLevelKeyMap)), mapCount);

    // Without a Map table the map's own record comes back.
    CFRef<CFMutableDictionaryRef> files(CFDictionaryCreateMutable(
        nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    ReplaceTable(kVTTopLevelKeyFiles, files.get());
    ReplaceTable(kVTTopLevelKeyMap, nullptr);
    EXPECT_EQ(VTPrivate_FilesSetFileInfoEntryForURL(nullptr, other.get(), CFSTR("B"), &error),
              nullptr);
    EXPECT_EQ(TakeOut(error), "-4960 VTPrivate_MapCreateEntryIDWithURL: Can't find container.");
}

TEST_F(FileEntries, FolderContentsListLeavesOutOnlyTheFolderSettingsFile) {
    std::string folder = work_.Join("Modules");
    ASSERT_TRUE(vt::test::MakeFolders(folder + "/Sub"));
    for (const char *name : {"a.scpt", ".DS_Store", ".hidden", ".ds_store"})
        ASSERT_TRUE(vt::test::WriteFile(folder + "/" + name, "x"));
    CFRef<CFStringRef> fileID = Register(FolderURL(folder).get(), "A");
    ASSERT_TRUE(fileID);
    EXPECT_EQ(Contents(fileID.get()), ".ds_store,.hidden,Sub/,a.scpt");
    EXPECT_EQ(Kind(fileID.get()), "FileInfo");
    EXPECT_EQ(StringOf(VTFileGetURL(fileID.get())), "file://" + folder + "/");

    // A plain file and a path that does not exist: "Kind" and "Owners" only.
    for (std::string path : {folder + "/a.scpt", folder + "/missing"}) {
        SCOPED_TRACE(path);
        CFRef<CFStringRef> id = Register(FolderURL(path).get(), "A");
        ASSERT_TRUE(id);
        auto entry = static_cast<CFDictionaryRef>(CFDictionaryGetValue(Files(), id.get()));
        EXPECT_EQ(CFDictionaryGetCount(entry), 2);
        EXPECT_EQ(Owners(id.get()), "A");
    }

    // A status from the platform comes back as a record named after the
    // operation, with the value (none here).
    CFMutableDictionaryRef error = nullptr;
    CFRef<CFTypeRef> listing(VTU_URLCopyFileInfo(nullptr, FolderURL(folder + "/missing").get(),
                                                 kCFURLFileDirectoryContents, &error));
    EXPECT_EQ(listing.get(), nullptr);
    ASSERT_NE(error, nullptr);
    EXPECT_NE(VTU_ErrorGetCode(error), 0);
    EXPECT_EQ(StringOf(VTErrorGetDescription(error)), "VTU_URLCopyFileInfo");
    CFRelease(error);
}

TEST_F(FileEntries, OwnersAreAddedOnceWhicheverWayAFileIsRegistered) {
    CFRef<CFURLRef> url = FolderURL(work_.Path());
    CFRef<CFStringRef> fileID = Register(url.get(), "A");
    ASSERT_TRUE(fileID);
    EXPECT_TRUE(CFEqual(Register(url.get(), "B").get(), fileID.get()));
    Register(url.get(), "A");
    EXPECT_EQ(Owners(fileID.get()), "A,B");
    EXPECT_EQ(VTPrivate_FilesSetFileInfoEntryForID(nullptr, fileID.get(), CFSTR("C")), nullptr);
    EXPECT_EQ(VTPrivate_FilesSetFileInfoEntryForID(nullptr, fileID.get(), CFSTR("B")), nullptr);
    EXPECT_EQ(Owners(fileID.get()), "A,B,C");

    // An entry whose owners were lost, or are of the wrong type, gets them back.
    for (CFTypeRef broken : {static_cast<CFTypeRef>(nullptr), CFTypeRef(CFSTR("A"))}) {
        CFMutableDictionaryRef entry = VTPrivate_GetOneFile(nullptr, fileID.get());
        if (broken)
            CFDictionarySetValue(entry, kVTKeyOwners, broken);
        else
            CFDictionaryRemoveValue(entry, kVTKeyOwners);
        EXPECT_EQ(VTPrivate_FilesSetFileInfoEntryForID(nullptr, fileID.get(), CFSTR("D")), nullptr);
        EXPECT_EQ(Owners(fileID.get()), "D");
        CFDictionaryRemoveValue(entry, kVTKeyOwners);
        Register(url.get(), "E");
        EXPECT_EQ(Owners(fileID.get()), "E");
    }

    // Registering by ID a file the map knows but the Files table does not
    // builds its entry from the map's text.
    CFDictionaryRemoveValue(Files(), fileID.get());
    EXPECT_EQ(VTPrivate_FilesSetFileInfoEntryForID(nullptr, fileID.get(), CFSTR("F")), nullptr);
    EXPECT_EQ(Owners(fileID.get()), "F");
    EXPECT_EQ(Kind(fileID.get()), "FileInfo");
}

TEST_F(FileEntries, RegisteringAgainRefreshesTheEntryInPlace) {
    std::string folder = work_.Join("Lib");
    ASSERT_TRUE(vt::test::MakeFolders(folder));
    ASSERT_TRUE(vt::test::WriteFile(folder + "/one.scpt", "x"));
    CFRef<CFURLRef> url = FolderURL(folder);
    CFRef<CFStringRef> fileID = Register(url.get(), "A");
    ASSERT_TRUE(fileID);
    // What library registration and the host store in the entry.
    CFMutableDictionaryRef entry = VTPrivate_GetOneFile(nullptr, fileID.get());
    CFDictionarySetValue(entry, kVTKeyKind, kVTKindFolderInfo);
    CFDictionarySetValue(entry, kVTFileInfoKeyPOSIXPath, Str(folder.c_str()).get());
    CFRef<CFMutableStringRef> note(CFStringCreateMutableCopy(nullptr, 0, CFSTR("keep")));
    EXPECT_EQ(VTFileSetValue(nullptr, fileID.get(), CFSTR("Note"), note.get()), nullptr);
    CFStringAppend(note.get(), CFSTR(" changed later"));

    ASSERT_TRUE(vt::test::WriteFile(folder + "/two.scpt", "x"));
    EXPECT_EQ(VTPrivate_FilesSetFileInfoEntryForID(nullptr, fileID.get(), CFSTR("B")), nullptr);
    EXPECT_EQ(Contents(fileID.get()), "one.scpt");
    Register(url.get(), "B");
    EXPECT_EQ(Contents(fileID.get()), "one.scpt,two.scpt");
    EXPECT_EQ(Owners(fileID.get()), "A,B");
    EXPECT_EQ(Kind(fileID.get()), "FolderInfo");
    EXPECT_EQ(StringOf(static_cast<CFStringRef>(
                  VTFileGetValue(nullptr, fileID.get(), kVTFileInfoKeyPOSIXPath, nullptr))),
              folder);
    EXPECT_EQ(StringOf(static_cast<CFStringRef>(
                  VTFileGetValue(nullptr, fileID.get(), CFSTR("Note"), nullptr))),
              "keep");

    // A refresh of the entry alone keeps an old list when the folder cannot
    // be read; a registration drops it.
    ASSERT_EQ(std::remove((folder + "/one.scpt").c_str()), 0);
    ASSERT_EQ(std::remove((folder + "/two.scpt").c_str()), 0);
    ASSERT_EQ(std::remove(folder.c_str()), 0);
    EXPECT_EQ(VTPrivate_FilesUpdateFileInfo(nullptr, entry, url.get()), nullptr);
    EXPECT_EQ(Contents(fileID.get()), "one.scpt,two.scpt");
    Register(url.get(), "A");
    EXPECT_EQ(Contents(fileID.get()), "<none>");
    EXPECT_EQ(Owners(fileID.get()), "A,B");

    // Stored values are the document's own copies, containers mutable.
    CFRef<CFMutableArrayRef> list(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFArrayAppendValue(list.get(), CFSTR("x"));
    EXPECT_EQ(VTFileSetValue(nullptr, fileID.get(), CFSTR("List"), list.get()), nullptr);
    CFArrayAppendValue(list.get(), CFSTR("y"));
    EXPECT_EQ(List(fileID.get(), CFSTR("List")), "x");
}

} // namespace
