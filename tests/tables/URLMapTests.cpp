// The URL map: IDs derived from URL texts, and the reverse look-up from a
// text to the key that holds it.
#include "tables/TablesTestSupport.h"
#include "utilities/UtilitiesPrivate.h"

#include <vector>

using vt::CFRef;
using vt::test::StringOf;
using vt::test::TakeOut;

namespace {

class URLMap : public vt::test::TablesTest {
  protected:
    static CFMutableDictionaryRef Map() { return Table(kVTTopLevelKeyMap); }
    // The key object the Map table itself holds for an ID.
    static const void *TableKey(CFStringRef mapID) {
        std::vector<const void *> keys(static_cast<size_t>(CFDictionaryGetCount(Map())));
        CFDictionaryGetKeysAndValues(Map(), keys.data(), nullptr);
        for (const void *key : keys)
            if (CFEqual(key, mapID)) return key;
        return nullptr;
    }
    static std::string Find(const char *text) {
        return StringOf(VTPrivate_MapGetEntryIDForURL(URL(text).get()));
    }
    static CFRef<CFStringRef> Create(CFURLRef url) {
        return CFRef<CFStringRef>(VTPrivate_MapCreateEntryIDWithURL(nullptr, url, nullptr));
    }
};

TEST_F(URLMap, MissingArgumentsAndTablesStoreNothing) {
    CFMutableDictionaryRef error = nullptr;
    EXPECT_EQ(VTPrivate_MapCreateEntryIDWithURL(nullptr, nullptr, &error), nullptr);
    EXPECT_EQ(TakeOut(error), "-50 Required input parameter is NULL.");
    // The empty text has no hash.
    EXPECT_EQ(VTPrivate_MapCreateEntryIDWithURL(nullptr, URL("").get(), &error), nullptr);
    EXPECT_EQ(TakeOut(error),
              "-4960 VTPrivate_MapCreateEntryIDWithURL:: VTU_StringCreateHashedWithMD5 NULL");
    EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(nullptr), nullptr);
    VTPrivate_MapDeleteEntry(nullptr);
    // No Map table, or something else in its place: no ID comes back that
    // the map does not know.
    CFRef<CFURLRef> url = URL("file:///Modules/");
    for (CFTypeRef replacement : {CFTypeRef(nullptr), CFTypeRef(CFSTR("not a map"))}) {
        ReplaceTable(kVTTopLevelKeyMap, replacement);
        EXPECT_EQ(VTPrivate_MapCreateEntryIDWithURL(nullptr, url.get(), &error), nullptr);
        EXPECT_EQ(TakeOut(error), "-4960 VTPrivate_MapCreateEntryIDWithURL: Can't find container.");
        EXPECT_EQ(CFDictionaryGetValue(Document(), kVTTopLevelKeyMap), replacement);
        EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(url.get()), nullptr);
        EXPECT_EQ(VTPrivate_MapCopyEntryIDForURL(nullptr, url.get()), nullptr);
        EXPECT_FALSE(VTPrivate_MapContainsID(CFSTR("id")));
    }
}

TEST_F(URLMap, EntriesAreKeyedByTheHashOfTheirAbsoluteText) {
    CFRef<CFURLRef> url = URL("file:///Users/j%C3%B6rg/Modules/");
    CFRef<CFStringRef> first = Create(url.get()), second = Create(url.get());
    EXPECT_EQ(StringOf(first.get()), "16ba1fe8792f7ffd28669bd1dc631318");
    EXPECT_TRUE(CFEqual(first.get(), second.get()));
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(CFDictionaryGetCount(Map()), 1);
    EXPECT_EQ(StringOf(VTFileGetURL(first.get())), "file:///Users/j%C3%B6rg/Modules/");
    EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(url.get()), TableKey(first.get()));
    CFRef<CFStringRef> copied(VTPrivate_MapCopyEntryIDForURL(nullptr, url.get()));
    EXPECT_TRUE(copied && CFEqual(copied.get(), first.get()));

    // Another character is another entry; a relative URL is its absolute text.
    EXPECT_EQ(Find("file:///Users/j%C3%B6rg/Modules"), "<null>");
    CFRef<CFURLRef> base = URL("file:///Users/");
    CFRef<CFStringRef> relative = Create(URL("j%C3%B6rg/Modules", base.get()).get());
    EXPECT_EQ(StringOf(VTPrivate_MapGetValue(relative.get())), "file:///Users/j%C3%B6rg/Modules");
    EXPECT_EQ(Find("file:///Users/j%C3%B6rg/Modules"), StringOf(relative.get()));

    // Deleting with the table's own key as the argument.
    VTPrivate_MapDeleteEntry(VTPrivate_MapGetEntryIDForURL(url.get()));
    EXPECT_FALSE(VTPrivate_MapContainsID(first.get()));
    EXPECT_EQ(VTPrivate_MapCopyEntryIDForURL(nullptr, url.get()), nullptr);
    EXPECT_EQ(CFDictionaryGetCount(Map()), 1);
}

// Entries written by another program or edited by hand need not be keyed by
// the hash of their text; the reverse look-up still finds them, and keeps up
// with changes made through the map and behind its back.
TEST_F(URLMap, ReverseLookUpFindsEntriesNotKeyedByTheirHash) {
    CFRef<CFStringRef> hashOfA(VTU_StringCreateHashedWithMD5(nullptr, CFSTR("file:///a/")));
    CFDictionarySetValue(Map(), CFSTR("custom"), CFSTR("file:///b/"));
    CFDictionarySetValue(Map(), hashOfA.get(), CFSTR("file:///elsewhere/"));
    CFDictionarySetValue(Map(), CFSTR("broken"), kCFBooleanTrue);
    EXPECT_EQ(VTPrivate_MapGetEntryIDForURL(URL("file:///b/").get()), TableKey(CFSTR("custom")));
    CFRef<CFStringRef> copied(VTPrivate_MapCopyEntryIDForURL(nullptr, URL("file:///b/").get()));
    EXPECT_EQ(StringOf(copied.get()), "custom");
    EXPECT_EQ(Find("file:///a/"), "<null>");
    EXPECT_EQ(Find("file:///elsewhere/"), StringOf(hashOfA.get()));
    EXPECT_FALSE(VTPrivate_MapContainsID(CFSTR("broken")));

    CFRef<CFStringRef> a = Create(URL("file:///a/").get());
    EXPECT_EQ(Find("file:///elsewhere/"), "<null>");
    EXPECT_EQ(Find("file:///a/"), StringOf(a.get()));
    CFDictionarySetValue(Map(), CFSTR("late"), CFSTR("file:///c/"));
    EXPECT_EQ(Find("file:///c/"), "late");
    CFDictionaryRemoveValue(Map(), CFSTR("late"));
    EXPECT_EQ(Find("file:///c/"), "<null>");

    // The hash key wins over a foreign key with the same text, which is found
    // again once the hash key goes.
    CFRef<CFStringRef> b = Create(URL("file:///b/").get());
    EXPECT_EQ(Find("file:///b/"), StringOf(b.get()));
    VTPrivate_MapDeleteEntry(b.get());
    EXPECT_EQ(Find("file:///b/"), "custom");

    // A loaded document brings a new table.
    std::string plist = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                        "<key>Map</key><dict><key>one</key><string>file:///a/</string>"
                        "<key>two</key><string>file:///d/</string>"
                        "<key>twin</key><string>file:///d/</string></dict></dict></plist>\n";
    ASSERT_TRUE(vt::test::WriteFile(work_.Join("info.library.module.mlix"), plist));
    ASSERT_EQ(VTPrivate_DocumentLoad(nullptr), kCFBooleanTrue);
    EXPECT_EQ(Find("file:///a/"), "one");
    std::string twin = Find("file:///d/");
    VTPrivate_MapDeleteEntry(CFRef<CFStringRef>(Str(twin)).get());
    EXPECT_EQ(Find("file:///d/"), twin == "two" ? "twin" : "two");
}

} // namespace
