// The URL map: IDs derived from URL texts, the texts stored under them, and
// the reverse look-up from a text to the key that holds it.
#include "tables/TablesTestSupport.h"
#include "utilities/UtilitiesPrivate.h"

#include <vector>

using vt::CFRef;
using vt::test::Str;
using vt::test::StringOf;
using vt::test::Take;
using vt::test::TakeOut;

namespace {

class URLMap : public vt::test::TablesTest {
  protected:
    static CFMutableDictionaryRef Map() { return Table(kVTTopLevelKeyMap); }

    // The key object the Map table itself holds for an ID, or NULL.
    static const void *TableKey(CFStringRef mapID) {
        CFIndex count = CFDictionaryGetCount(Map());
        std::vector<const void *> keys(static_cast<size_t>(count));
        CFDictionaryGetKeysAndValues(Map(), keys.data(), nullptr);
        for (const void *key : keys)
            if (CFEqual(key, mapID)) return key;
        return nullptr;
    }
};

TEST_F(URLMap, MissingArgumentsAndTablesFailWithoutStoring) {
    CFMutableDictionaryRef error = nullptr;
    EXPECT_EQ(VTPrivate_MapCreateEntryIDWithURL(nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(VTPrivate_MapCreateEntryIDWithURL(nullptr, nullptr, &error), nullptr);
    EXPECT_EQ(TakeOut(error), "-50 Required input parameter is NULL.");
    // A value that is no URL counts as missing.
    EXPECT_EQ(VTPrivate_MapCreateEntryIDWithURL(
                  nullptr, reinterpret_cast<CFURLRef>(CFSTR("file:///a")), &error),
              nullptr);
    EXPECT_EQ(TakeOut(error), "-50 Required input parameter is NULL.");

    EXPECT_EQ(VTPrivate_MapGetValue(nullptr), nullptr);
    EXPECT_FALSE(VTPrivate_MapContainsID(nullptr));
    EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(nullptr), nullptr);
    EXPECT_EQ(VTPrivate_MapCopyEntryIDForURL(nullptr, nullptr), nullptr);
    VTPrivate_MapDeleteEntry(nullptr);
    EXPECT_EQ(CFDictionaryGetCount(Map()), 0);

    // No Map table, or one of the wrong type: nothing is stored and no ID
    // comes back that the map does not know.
    CFRef<CFURLRef> url = URL("file:///Users/x/Modules/");
    for (CFTypeRef replacement : {static_cast<CFTypeRef>(nullptr), CFTypeRef(CFSTR("not a map"))}) {
        SCOPED_TRACE(replacement ? "string" : "absent");
        ReplaceTable(kVTTopLevelKeyMap, replacement);
        EXPECT_EQ(VTPrivate_MapCreateEntryIDWithURL(nullptr, url.get(), &error), nullptr);
        EXPECT_EQ(TakeOut(error), "-4960 VTPrivate_MapCreateEntryIDWithURL: Can't find container.");
        EXPECT_EQ(VTPrivate_MapCreateEntryIDWithURL(nullptr, url.get(), nullptr), nullptr);
        EXPECT_EQ(CFDictionaryGetValue(Document(), kVTTopLevelKeyMap), replacement);
        EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(url.get()), nullptr);
        EXPECT_EQ(VTPrivate_MapCopyEntryIDForURL(nullptr, url.get()), nullptr);
        EXPECT_EQ(VTPrivate_MapGetValue(CFSTR("0123")), nullptr);
        EXPECT_FALSE(VTPrivate_MapContainsID(CFSTR("0123")));
        VTPrivate_MapDeleteEntry(CFSTR("0123"));
    }
}

TEST_F(URLMap, EntriesAreKeyedByTheHashOfTheirText) {
    CFRef<CFURLRef> url = URL("file:///Users/j%C3%B6rg/Library/Scripts/Modules/");
    CFRef<CFStringRef> first(VTPrivate_MapCreateEntryIDWithURL(nullptr, url.get(), nullptr));
    CFRef<CFStringRef> second(VTPrivate_MapCreateEntryIDWithURL(nullptr, url.get(), nullptr));
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(CFEqual(first.get(), second.get()));
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(CFDictionaryGetCount(Map()), 1);
    CFRef<CFStringRef> hash(VTU_StringCreateHashedWithMD5(nullptr, CFURLGetString(url.get())));
    EXPECT_TRUE(CFEqual(first.get(), hash.get()));
    EXPECT_EQ(StringOf(first.get()), "93adc37b11235f18b8b1de1a65b3e1fc");

    // The stored text is the URL's own, and an immutable string.
    CFStringRef stored = VTPrivate_MapGetValue(first.get());
    ASSERT_NE(stored, nullptr);
    EXPECT_TRUE(CFEqual(stored, CFURLGetString(url.get())));
    EXPECT_TRUE(VTPrivate_MapContainsID(first.get()));
    EXPECT_EQ(VTFileGetURL(first.get()), stored);

    // The borrowed ID is the table's own key; the copied one is a new string.
    EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(url.get()), TableKey(first.get()));
    CFRef<CFStringRef> copied(VTPrivate_MapCopyEntryIDForURL(nullptr, url.get()));
    ASSERT_TRUE(copied);
    EXPECT_TRUE(CFEqual(copied.get(), first.get()));

    // Texts that differ in any character are different entries.
    CFRef<CFURLRef> noSlash = URL("file:///Users/j%C3%B6rg/Library/Scripts/Modules");
    EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(noSlash.get()), nullptr);
    EXPECT_EQ(VTPrivate_MapCopyEntryIDForURL(nullptr, noSlash.get()), nullptr);
    CFRef<CFStringRef> other(VTPrivate_MapCreateEntryIDWithURL(nullptr, noSlash.get(), nullptr));
    ASSERT_TRUE(other);
    EXPECT_FALSE(CFEqual(other.get(), first.get()));
    EXPECT_EQ(CFDictionaryGetCount(Map()), 2);

    // Deleting with the table's own key as the argument is safe.
    VTPrivate_MapDeleteEntry(VTPrivate_MapGetEntryIDForURL(url.get()));
    EXPECT_EQ(VTPrivate_MapGetValue(first.get()), nullptr);
    EXPECT_FALSE(VTPrivate_MapContainsID(first.get()));
    EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(url.get()), nullptr);
    EXPECT_EQ(VTPrivate_MapCopyEntryIDForURL(nullptr, url.get()), nullptr);
    VTPrivate_MapDeleteEntry(first.get());
    VTPrivate_MapDeleteEntry(CFSTR("not there"));
    EXPECT_EQ(CFDictionaryGetCount(Map()), 1);
    EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(noSlash.get()), TableKey(other.get()));
}

TEST_F(URLMap, URLsWithABaseAreStoredByTheirAbsoluteText) {
    CFRef<CFURLRef> base = URL("file:///Library/Scripts/Modules/");
    CFRef<CFURLRef> relative(CFURLCreateWithString(nullptr, CFSTR("Tools/"), base.get()));
    CFRef<CFURLRef> absolute = URL("file:///Library/Scripts/Modules/Tools/");
    CFRef<CFStringRef> mapID(VTPrivate_MapCreateEntryIDWithURL(nullptr, relative.get(), nullptr));
    ASSERT_TRUE(mapID);
    EXPECT_EQ(StringOf(VTPrivate_MapGetValue(mapID.get())),
              "file:///Library/Scripts/Modules/Tools/");
    CFRef<CFStringRef> hash(VTU_StringCreateHashedWithMD5(nullptr, CFURLGetString(absolute.get())));
    EXPECT_TRUE(CFEqual(mapID.get(), hash.get()));
    EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(absolute.get()), TableKey(mapID.get()));
    EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(relative.get()), TableKey(mapID.get()));
}

// Entries written by another program, or edited by hand, need not be keyed by
// the hash of their text; the reverse look-up still finds them and keeps up
// with changes.
TEST_F(URLMap, ReverseLookUpFindsEntriesNotKeyedByTheirHash) {
    CFRef<CFURLRef> a = URL("file:///a/");
    CFRef<CFURLRef> b = URL("file:///b/");
    CFRef<CFURLRef> c = URL("file:///c/");
    CFRef<CFStringRef> hashOfA(VTU_StringCreateHashedWithMD5(nullptr, CFURLGetString(a.get())));
    CFDictionarySetValue(Map(), CFSTR("custom"), CFURLGetString(b.get()));
    // Under a's hash, but holding another text.
    CFDictionarySetValue(Map(), hashOfA.get(), CFSTR("file:///elsewhere/"));
    CFDictionarySetValue(Map(), CFSTR("number"), CFSTR("file:///n/"));
    CFDictionarySetValue(Map(), CFSTR("broken"), kCFBooleanTrue);

    EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(b.get()), TableKey(CFSTR("custom")));
    CFRef<CFStringRef> copied(VTPrivate_MapCopyEntryIDForURL(nullptr, b.get()));
    EXPECT_EQ(StringOf(copied.get()), "custom");
    EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(a.get()), nullptr);
    EXPECT_EQ(VTPrivate_MapCopyEntryIDForURL(nullptr, a.get()), nullptr);
    EXPECT_EQ(StringOf(VTPrivate_MapGetEntryIDForURL(URL("file:///elsewhere/").get())),
              StringOf(hashOfA.get()));
    EXPECT_EQ(VTPrivate_MapGetValue(CFSTR("broken")), nullptr);
    EXPECT_FALSE(VTPrivate_MapContainsID(CFSTR("broken")));

    // Registering a replaces the text under its hash.
    CFRef<CFStringRef> idOfA(VTPrivate_MapCreateEntryIDWithURL(nullptr, a.get(), nullptr));
    EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(URL("file:///elsewhere/").get()), nullptr);
    EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(a.get()), TableKey(idOfA.get()));

    // Entries added and removed behind the map's back are seen too.
    CFDictionarySetValue(Map(), CFSTR("late"), CFURLGetString(c.get()));
    EXPECT_EQ(StringOf(VTPrivate_MapGetEntryIDForURL(c.get())), "late");
    CFDictionaryRemoveValue(Map(), CFSTR("late"));
    EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(c.get()), nullptr);

    // Registering a text a foreign key holds prefers the hash key; deleting
    // that leaves the foreign one to be found.
    CFRef<CFStringRef> idOfB(VTPrivate_MapCreateEntryIDWithURL(nullptr, b.get(), nullptr));
    EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(b.get()), TableKey(idOfB.get()));
    VTPrivate_MapDeleteEntry(idOfB.get());
    EXPECT_EQ(StringOf(VTPrivate_MapGetEntryIDForURL(b.get())), "custom");
    VTPrivate_MapDeleteEntry(CFSTR("custom"));
    EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(b.get()), nullptr);

    // A new document's map is a new table.
    CFRef<CFMutableDictionaryRef> fresh(CFDictionaryCreateMutable(
        nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFDictionarySetValue(fresh.get(), CFSTR("moved"), CFURLGetString(a.get()));
    ReplaceTable(kVTTopLevelKeyMap, fresh.get());
    EXPECT_EQ(StringOf(VTPrivate_MapGetEntryIDForURL(a.get())), "moved");
}

TEST_F(URLMap, ReverseLookUpOfALoadedDocument) {
    std::string document = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                           "<plist version=\"1.0\"><dict><key>Map</key><dict>"
                           "<key>first</key><string>file:///one/</string>"
                           "<key>second</key><string>file:///two/</string>"
                           "<key>twin</key><string>file:///two/</string>"
                           "</dict></dict></plist>\n";
    ASSERT_TRUE(vt::test::WriteFile(work_.Join("info.library.module.mlix"), document));
    ASSERT_EQ(VTPrivate_DocumentLoad(nullptr), kCFBooleanTrue);
    EXPECT_EQ(StringOf(VTPrivate_MapGetEntryIDForURL(URL("file:///one/").get())), "first");
    std::string twin = StringOf(VTPrivate_MapGetEntryIDForURL(URL("file:///two/").get()));
    EXPECT_TRUE(twin == "second" || twin == "twin") << twin;
    VTPrivate_MapDeleteEntry(Str(twin.c_str()).get());
    std::string other = StringOf(VTPrivate_MapGetEntryIDForURL(URL("file:///two/").get()));
    EXPECT_NE(other, twin);
    EXPECT_TRUE(other == "second" || other == "twin") << other;
    EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(URL("file:///three/").get()), nullptr);
}

} // namespace
