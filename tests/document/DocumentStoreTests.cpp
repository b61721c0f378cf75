// The document store: the document file's name and place, the layout of a new
// document, loading, saving and the top-level value access. The URL and the
// held document are process-wide and set on first use, so every TEST starts
// from a fresh process in its own working directory.
#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "document/DocumentPrivate.h"
#include "platform/files/FileSystem.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"
#include "support/TestSupport.h"

#include <filesystem>
#include <functional>
#include <string>
#include <cerrno>
#include <sys/stat.h>

using vt::CFRef;
namespace fs = std::filesystem;
using vt::test::StringOf;

namespace {

CFMutableDictionaryRef CreateDictionary() {
    return CFDictionaryCreateMutable(nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

CFDictionaryRef AsDictionary(CFTypeRef value) {
    return vt::cf::Cast<CFDictionaryRef>(value);
}

// A top-level table of the held document, which must be mutable in place.
CFMutableDictionaryRef MutableTable(CFStringRef key) {
    return vt::cf::CastMutable<CFMutableDictionaryRef>(VTPrivate_DocumentValueGet(key));
}

// The file parsed as a property list, or NULL.
CFRef<CFPropertyListRef> ReadPropertyList(const std::string &path) {
    std::string bytes = vt::test::ReadFile(path);
    CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()),
                                       CFIndex(bytes.size())));
    return CFRef<CFPropertyListRef>(
        CFPropertyListCreateFromXMLData(nullptr, data.get(), kCFPropertyListImmutable, nullptr));
}

std::string Captured(const std::function<void()> &body) {
    testing::internal::CaptureStderr();
    body();
    return testing::internal::GetCapturedStderr();
}

class DocumentStore : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(work_.Path().empty());
        vt::test::SetDomainRoot(domains_.Path());
    }
    void TearDown() override { vt::test::SetDomainRoot(""); }

    std::string DocumentPath() const { return work_.Join("info.library.module.mlix"); }

    vt::test::TempFolder domains_;
    vt::test::TempFolder work_;
    vt::test::ScopedWorkingDirectory cwd_{work_.Path()};
};

} // namespace

TEST_F(DocumentStore, FileIsNamedByDefaultsAndPlacedAtFirstAccess) {
    EXPECT_EQ(StringOf(VantrellGetDocumentPropertyListID()), "info.library.module");
    EXPECT_EQ(StringOf(VantrellGetDocumentFileExtension()), "mlix");
    CFURLRef url = VTPrivate_DocumentGetURL(nullptr);
    ASSERT_NE(url, nullptr);
    CFRef<CFStringRef> path(CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle));
    EXPECT_EQ(StringOf(path.get()), DocumentPath());

    // A later working directory does not move the document.
    vt::test::TempFolder elsewhere;
    vt::test::ScopedWorkingDirectory moved(elsewhere.Path());
    EXPECT_EQ(VTPrivate_DocumentGetURL(kCFAllocatorMalloc), url);
    ASSERT_EQ(VTPrivate_DocumentCreate(nullptr), nullptr);
    ASSERT_EQ(VantrellSaveDocument(nullptr), nullptr);
    EXPECT_TRUE(vt::test::Exists(DocumentPath()));
    EXPECT_FALSE(vt::test::Exists(elsewhere.Join("info.library.module.mlix")));
}

TEST_F(DocumentStore, NewDocumentHasTheNineTopLevelKeys) {
    EXPECT_EQ(VTDocumentGetVersion(), nullptr);
    EXPECT_EQ(VTPrivate_DocumentGetDocument(), nullptr);
    ASSERT_EQ(VTPrivate_DocumentCreate(nullptr), nullptr);
    ASSERT_EQ(VantrellSaveDocument(nullptr), nullptr);

    CFRef<CFPropertyListRef> saved = ReadPropertyList(DocumentPath());
    CFDictionaryRef document = AsDictionary(saved.get());
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(CFDictionaryGetCount(document), 9);
    for (CFStringRef table :
         {kVTTopLevelKeyExtensions, kVTTopLevelKeyFiles, kVTTopLevelKeyLibraries, kVTTopLevelKeyMap,
          kVTTopLevelKeyProperties, kVTTopLevelKeySearchConfigurations}) {
        CFDictionaryRef value = AsDictionary(CFDictionaryGetValue(document, table));
        ASSERT_NE(value, nullptr) << StringOf(table);
        EXPECT_EQ(CFDictionaryGetCount(value), 0) << StringOf(table);
        // In memory every table can be changed in place.
        CFMutableDictionaryRef held = MutableTable(table);
        ASSERT_NE(held, nullptr) << StringOf(table);
        CFDictionarySetValue(held, CFSTR("k"), CFSTR("v"));
    }
    auto substrings = vt::cf::Cast<CFArrayRef>(
        CFDictionaryGetValue(document, kVTTopLevelKeyDisabledFolderSubstrings));
    ASSERT_NE(substrings, nullptr);
    ASSERT_EQ(CFArrayGetCount(substrings), 1);
    EXPECT_EQ(StringOf(CFArrayGetValueAtIndex(substrings, 0)), "(Disabled)");
    EXPECT_EQ(
        StringOf(CFDictionaryGetValue(document, kVTTopLevelKeySearchConfigurationLastSelected)),
        "info.module.search.configuration.id.user");
    EXPECT_EQ(StringOf(CFDictionaryGetValue(document, kVTTopLevelKeyDocumentVersion)), "0.5.4");
    EXPECT_EQ(StringOf(VTDocumentGetVersion()), "0.5.4");
    EXPECT_TRUE(CFEqual(VTDocumentGetDisabledFolderSubstrings(), substrings));
}

TEST_F(DocumentStore, LoadRefusesUnreadableFilesAndKeepsTheHeldDocument) {
    ASSERT_EQ(VTPrivate_DocumentCreate(nullptr), nullptr);
    CFMutableDictionaryRef held = VTPrivate_DocumentGetDocument();

    EXPECT_EQ(VTPrivate_DocumentLoad(nullptr), kCFBooleanFalse); // missing
    const char *unreadable[] = {
        "",
        "not a property list",
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key></dict></plist>",
        // Well-formed, but a document must be a dictionary.
        "<plist version=\"1.0\"><array><string>a</string></array></plist>",
        "<plist version=\"1.0\"><string>a</string></plist>",
    };
    for (const char *contents : unreadable) {
        ASSERT_TRUE(vt::test::WriteFile(DocumentPath(), contents));
        std::string err =
            Captured([] { EXPECT_EQ(VTPrivate_DocumentLoad(nullptr), kCFBooleanFalse); });
        EXPECT_EQ(err, "") << contents;
        EXPECT_EQ(VTPrivate_DocumentGetDocument(), held) << contents;
    }
    EXPECT_EQ(StringOf(VTDocumentGetVersion()), "0.5.4");

    ASSERT_TRUE(vt::test::WriteFile(DocumentPath(), R"(<plist version="1.0"><dict>
        <key>ModuleDocumentVersion</key><string>0.5.3</string>
        <key>Libraries</key><dict><key>lib</key><dict>
            <key>Files</key><array><string>a</string></array>
            <key>Title</key><string>Lib</string></dict></dict>
        <key>List</key><array><dict/><array/></array>
        </dict></plist>)"));
    EXPECT_EQ(VTPrivate_DocumentLoad(nullptr), kCFBooleanTrue);
    ASSERT_NE(VTPrivate_DocumentGetDocument(), held);
    EXPECT_EQ(StringOf(VTDocumentGetVersion()), "0.5.3");

    // Everything loaded is mutable down to the leaves.
    CFMutableDictionaryRef libraries = MutableTable(kVTTopLevelKeyLibraries);
    ASSERT_NE(libraries, nullptr);
    auto library =
        vt::cf::CastMutable<CFMutableDictionaryRef>(CFDictionaryGetValue(libraries, CFSTR("lib")));
    ASSERT_NE(library, nullptr);
    auto files =
        vt::cf::CastMutable<CFMutableArrayRef>(CFDictionaryGetValue(library, CFSTR("Files")));
    auto title =
        vt::cf::CastMutable<CFMutableStringRef>(CFDictionaryGetValue(library, CFSTR("Title")));
    auto list = vt::cf::CastMutable<CFMutableArrayRef>(VTPrivate_DocumentValueGet(CFSTR("List")));
    ASSERT_TRUE(files && title && list);
    auto nestedDictionary =
        vt::cf::CastMutable<CFMutableDictionaryRef>(CFArrayGetValueAtIndex(list, 0));
    auto nestedArray = vt::cf::CastMutable<CFMutableArrayRef>(CFArrayGetValueAtIndex(list, 1));
    ASSERT_TRUE(nestedDictionary && nestedArray);
    CFArrayAppendValue(files, CFSTR("b"));
    CFStringAppend(title, CFSTR("rary"));
    CFDictionarySetValue(library, CFSTR("Added"), kCFBooleanTrue);
    CFDictionarySetValue(nestedDictionary, CFSTR("k"), CFSTR("v"));
    CFArrayAppendValue(nestedArray, CFSTR("x"));
    EXPECT_EQ(CFArrayGetCount(files), 2);
    EXPECT_EQ(StringOf(title), "Library");
    ASSERT_EQ(VantrellSaveDocument(nullptr), nullptr);
    CFRef<CFPropertyListRef> saved = ReadPropertyList(DocumentPath());
    EXPECT_TRUE(CFEqual(saved.get(), VTPrivate_DocumentGetDocument()));
}

TEST_F(DocumentStore, SetDocumentAdoptsTheReferenceAndRefusesNonDictionaries) {
    CFRef<CFMutableDictionaryRef> error(VTPrivate_DocumentSetDocument(nullptr));
    EXPECT_EQ(VTU_ErrorGetCode(error.get()), -50);
    EXPECT_EQ(StringOf(VTErrorGetDescription(error.get())),
              "Input parameter 'theDocument' is NULL.:: Required input parameter is NULL.");
    EXPECT_EQ(CFGetAllocator(error.get()), kCFAllocatorMalloc);
    EXPECT_EQ(VTPrivate_DocumentGetDocument(), nullptr);

    CFMutableDictionaryRef first = CreateDictionary();
    CFRetain(first); // a reference of the test's own, to watch the store's
    EXPECT_EQ(VTPrivate_DocumentSetDocument(first), nullptr);
    EXPECT_EQ(VTPrivate_DocumentGetDocument(), first);
    // Setting the held document again keeps it alive and held.
    EXPECT_EQ(VTPrivate_DocumentSetDocument(first), nullptr);
    EXPECT_EQ(CFGetRetainCount(first), 2);

    CFRef<CFStringRef> notADocument(CFStringCreateWithCString(nullptr, "x", kCFStringEncodingUTF8));
    error.Reset(VTPrivate_DocumentSetDocument(
        reinterpret_cast<CFMutableDictionaryRef>(const_cast<__CFString *>(notADocument.get()))));
    EXPECT_EQ(VTU_ErrorGetCode(error.get()), -50);
    EXPECT_EQ(VTPrivate_DocumentGetDocument(), first);
    EXPECT_EQ(CFGetRetainCount(notADocument.get()), 1);

    // A new document releases the one held before.
    EXPECT_EQ(VTPrivate_DocumentSetDocument(CreateDictionary()), nullptr);
    EXPECT_NE(VTPrivate_DocumentGetDocument(), first);
    EXPECT_EQ(CFGetRetainCount(first), 1);
    CFRelease(first);
}

TEST_F(DocumentStore, CreateCompletesTheHeldDocumentWithoutReplacingValues) {
    CFMutableDictionaryRef document = CreateDictionary();
    CFRef<CFMutableDictionaryRef> libraries(CreateDictionary());
    CFDictionarySetValue(libraries.get(), CFSTR("lib"), CFSTR("record"));
    CFDictionarySetValue(document, kVTTopLevelKeyLibraries, libraries.get());
    CFDictionarySetValue(document, kVTTopLevelKeyDocumentVersion, CFSTR("0.4"));
    CFDictionarySetValue(document, CFSTR("HostKey"), CFSTR("kept"));
    ASSERT_EQ(VTPrivate_DocumentSetDocument(document), nullptr);

    ASSERT_EQ(VTPrivate_DocumentCreate(nullptr), nullptr);
    EXPECT_EQ(VTPrivate_DocumentGetDocument(), document);
    EXPECT_EQ(CFDictionaryGetCount(document), 10);
    EXPECT_EQ(VTPrivate_DocumentValueGet(kVTTopLevelKeyLibraries), libraries.get());
    EXPECT_EQ(CFDictionaryGetCount(libraries.get()), 1);
    EXPECT_EQ(StringOf(VTDocumentGetVersion()), "0.4");
    EXPECT_EQ(StringOf(VTPrivate_DocumentValueGet(CFSTR("HostKey"))), "kept");
    CFDictionaryRef map = AsDictionary(VTPrivate_DocumentValueGet(kVTTopLevelKeyMap));
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(CFDictionaryGetCount(map), 0);
}

TEST_F(DocumentStore, SaveReportsEachFailureAndKeepsTheFile) {
    CFRef<CFMutableDictionaryRef> error(VantrellSaveDocument(nullptr));
    EXPECT_EQ(VTU_ErrorGetCode(error.get()), -50);
    EXPECT_EQ(StringOf(VTErrorGetDescription(error.get())), "Required input parameter is NULL.");
    EXPECT_FALSE(vt::test::Exists(DocumentPath()));

    ASSERT_EQ(VTPrivate_DocumentCreate(nullptr), nullptr);
    ASSERT_EQ(VantrellSaveDocument(nullptr), nullptr);
    std::string before = vt::test::ReadFile(DocumentPath());
    ASSERT_FALSE(before.empty());

    // The save writes the held document itself, so each value it cannot
    // write must still stop it before the file is touched: a value that is
    // not a property-list value, text XML cannot carry, a container that
    // holds itself.
    CFMutableDictionaryRef extensions = MutableTable(kVTTopLevelKeyExtensions);
    ASSERT_NE(extensions, nullptr);
    CFRef<CFUUIDRef> uuid(CFUUIDCreate(nullptr));
    CFRef<CFStringRef> control(
        CFStringCreateWithCString(nullptr, "bell\x07", kCFStringEncodingUTF8));
    CFRef<CFMutableArrayRef> loop(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFRef<CFMutableArrayRef> inner(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFArrayAppendValue(loop.get(), inner.get());
    CFArrayAppendValue(inner.get(), loop.get());
    for (CFTypeRef bad : {CFTypeRef(uuid.get()), CFTypeRef(control.get()), CFTypeRef(loop.get())}) {
        CFDictionarySetValue(extensions, CFSTR("bad"), bad);
        error.Reset(VantrellSaveDocument(nullptr));
        EXPECT_EQ(VTU_ErrorGetCode(error.get()), -4960);
        EXPECT_EQ(StringOf(VTErrorGetDescription(error.get())),
                  "Can't create document output format.");
        EXPECT_EQ(vt::test::ReadFile(DocumentPath()), before);
        EXPECT_EQ(CFDictionaryGetValue(extensions, CFSTR("bad")), bad);
    }
    CFDictionaryRemoveValue(extensions, CFSTR("bad"));
    CFArrayRemoveAllValues(inner.get()); // the loop would never be freed

    // A folder in the file's place cannot be replaced: the code is the
    // platform's status for that write.
    fs::remove(DocumentPath());
    ASSERT_TRUE(vt::test::MakeFolders(DocumentPath()));
    SInt32 status = vt::platform::WriteFileAtomically(DocumentPath().c_str(), "x", 1);
    ASSERT_NE(status, 0);
    error.Reset(VantrellSaveDocument(kCFAllocatorMalloc));
    EXPECT_EQ(VTU_ErrorGetCode(error.get()), status);
    EXPECT_EQ(StringOf(VTErrorGetDomain(error.get())), "ErrorDomainOSStatus");
    EXPECT_EQ(StringOf(VTErrorGetDescription(error.get())), "Can't write document to URL.");
    EXPECT_TRUE(fs::is_directory(DocumentPath()));
    EXPECT_EQ(std::distance(fs::directory_iterator(work_.Path()), fs::directory_iterator()), 1);
}

TEST_F(DocumentStore, SaveReplacesTheFileWholeKeepingItsPermissions) {
    ASSERT_EQ(VTPrivate_DocumentCreate(nullptr), nullptr);
    ASSERT_EQ(VantrellSaveDocument(nullptr), nullptr);
    ASSERT_EQ(chmod(DocumentPath().c_str(), 0600), 0);
    struct stat before = {};
    ASSERT_EQ(stat(DocumentPath().c_str(), &before), 0);

    CFRef<CFStringRef> large(CFStringCreateWithCString(nullptr, std::string(100000, 'x').c_str(),
                                                       kCFStringEncodingUTF8));
    VTPrivate_DocumentValueSet(CFSTR("Large"), large.get());
    ASSERT_EQ(VantrellSaveDocument(nullptr), nullptr);
    struct stat after = {};
    ASSERT_EQ(stat(DocumentPath().c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0600u);
    // A new file took the old one's place rather than being written into it.
    EXPECT_NE(after.st_ino, before.st_ino);
    CFRef<CFPropertyListRef> saved = ReadPropertyList(DocumentPath());
    EXPECT_TRUE(CFEqual(saved.get(), VTPrivate_DocumentGetDocument()));
    EXPECT_EQ(std::distance(fs::directory_iterator(work_.Path()), fs::directory_iterator()), 1);
}

// A folder the host may not add files to, holding a document it may write:
// the save rewrites the file in place and says that it was not atomic.
TEST_F(DocumentStore, SaveInAFolderRefusingNewFilesRewritesTheFileInPlace) {
    ASSERT_EQ(VTPrivate_DocumentCreate(nullptr), nullptr);
    vt::platform::SetWriteStepHook([](vt::platform::WriteStep step) {
        return step == vt::platform::WriteStep::kCreateTemporary ? EACCES : 0;
    });
    CFRef<CFMutableDictionaryRef> error;
    std::string err = Captured([&] { error.Reset(VantrellSaveDocument(nullptr)); });
    // Nothing to rewrite yet: the folder's refusal is the save's failure.
    EXPECT_EQ(VTU_ErrorGetCode(error.get()), kCFURLResourceAccessViolationError);
    EXPECT_EQ(StringOf(VTErrorGetDescription(error.get())), "Can't write document to URL.");
    EXPECT_FALSE(vt::test::Exists(DocumentPath()));

    vt::platform::SetWriteStepHook(nullptr);
    ASSERT_EQ(VantrellSaveDocument(nullptr), nullptr);
    struct stat before = {};
    ASSERT_EQ(stat(DocumentPath().c_str(), &before), 0);
    VTPrivate_DocumentValueSet(CFSTR("Added"), CFSTR("after the first save"));
    vt::platform::SetWriteStepHook([](vt::platform::WriteStep step) {
        return step == vt::platform::WriteStep::kCreateTemporary ? EACCES : 0;
    });
    err = Captured([&] { error.Reset(VantrellSaveDocument(nullptr)); });
    vt::platform::SetWriteStepHook(nullptr);
    EXPECT_EQ(error.get(), nullptr);
    EXPECT_NE(err.find("[Quillbay] VTPrivate_DocumentSave: Saved " + DocumentPath() + " in place"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("not atomic"), std::string::npos) << err;
    struct stat after = {};
    ASSERT_EQ(stat(DocumentPath().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    CFRef<CFPropertyListRef> saved = ReadPropertyList(DocumentPath());
    EXPECT_TRUE(CFEqual(saved.get(), VTPrivate_DocumentGetDocument()));

    // An ordinary save says nothing.
    err = Captured([&] { error.Reset(VantrellSaveDocument(nullptr)); });
    EXPECT_EQ(error.get(), nullptr);
    EXPECT_EQ(err, "");
}

TEST_F(DocumentStore, ValueAccessShowsFailuresItCannotReturn) {
    std::string err = Captured([] { EXPECT_EQ(VTPrivate_DocumentValueGet(nullptr), nullptr); });
    EXPECT_NE(err.find("number: -50"), std::string::npos) << err;
    EXPECT_NE(err.find("(null) is NULL."), std::string::npos) << err;
    err = Captured([] {
        EXPECT_EQ(VTPrivate_DocumentValueGet(kVTTopLevelKeyMap), nullptr);
        EXPECT_EQ(VTDocumentGetVersion(), nullptr);
        EXPECT_EQ(VTDocumentGetDisabledFolderSubstrings(), nullptr);
        VTPrivate_DocumentValueAdd(CFSTR("k"), CFSTR("v"));
    });
    EXPECT_EQ(err, "");

    CFRef<CFMutableArrayRef> substrings(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    err = Captured([] { VTDocumentSetDisabledFolderSubstrings(nullptr); });
    EXPECT_NE(err.find("number: -50"), std::string::npos) << err;
    EXPECT_NE(err.find("Required input parameter is NULL."), std::string::npos) << err;
    err = Captured([&] { VTDocumentSetDisabledFolderSubstrings(substrings.get()); });
    EXPECT_NE(err.find("number: -4960"), std::string::npos) << err;
    EXPECT_NE(err.find("VTPrivate_DocumentValueSet: Can't find container."), std::string::npos)
        << err;

    CFMutableDictionaryRef error = nullptr;
    EXPECT_EQ(VTPrivate_DocumentContainerValueGet(kVTTopLevelKeyLibraries, nullptr, &error),
              nullptr);
    EXPECT_EQ(VTU_ErrorGetCode(error), -50);
    CFRelease(error);
    error = nullptr;
    EXPECT_EQ(VTPrivate_DocumentContainerValueGet(kVTTopLevelKeyLibraries, CFSTR("x"), &error),
              nullptr);
    EXPECT_EQ(StringOf(VTErrorGetDescription(error)), "Can't find container.");
    CFRelease(error);
}

TEST_F(DocumentStore, ValueAccessReadsAndWritesTheHeldDocument) {
    ASSERT_EQ(VTPrivate_DocumentCreate(nullptr), nullptr);

    // The caller's array itself is stored: later changes show.
    CFRef<CFMutableArrayRef> substrings(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    VTDocumentSetDisabledFolderSubstrings(substrings.get());
    CFArrayAppendValue(substrings.get(), CFSTR("(Off)"));
    EXPECT_EQ(VTDocumentGetDisabledFolderSubstrings(), substrings.get());
    EXPECT_EQ(CFArrayGetCount(VTDocumentGetDisabledFolderSubstrings()), 1);
    // Anything but an array is refused like a missing one.
    std::string err = Captured([] {
        VTDocumentSetDisabledFolderSubstrings(reinterpret_cast<CFArrayRef>(CFSTR("(Off)")));
    });
    EXPECT_NE(err.find("number: -50"), std::string::npos) << err;
    EXPECT_EQ(VTDocumentGetDisabledFolderSubstrings(), substrings.get());
    // So is an array holding a value no XML document can carry: the save
    // that follows still succeeds.
    CFRef<CFURLRef> url(CFURLCreateWithString(nullptr, CFSTR("file:///x"), nullptr));
    const void *values[] = {CFSTR("(Off)"), url.get()};
    CFRef<CFArrayRef> unsaveable(CFArrayCreate(nullptr, values, 2, &kCFTypeArrayCallBacks));
    err = Captured([&] { VTDocumentSetDisabledFolderSubstrings(unsaveable.get()); });
    EXPECT_NE(err.find("number: -50"), std::string::npos) << err;
    EXPECT_EQ(VTDocumentGetDisabledFolderSubstrings(), substrings.get());
    CFRef<CFMutableDictionaryRef> saved(VantrellSaveDocument(nullptr));
    EXPECT_EQ(saved.get(), nullptr);

    // A top-level value that is no dictionary is no container.
    CFMutableDictionaryRef error = nullptr;
    EXPECT_EQ(
        VTPrivate_DocumentContainerValueGet(kVTTopLevelKeyDocumentVersion, CFSTR("x"), &error),
        nullptr);
    EXPECT_EQ(StringOf(VTErrorGetDescription(error)), "Can't find container.");
    CFRelease(error);
}
