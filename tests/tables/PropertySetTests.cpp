// Property sets: storing, reading, writing and removing a library's set.
#include "tables/TablesTestSupport.h"

using vt::CFRef;
using vt::test::StringOf;
using vt::test::Take;
using vt::test::TakeOut;

namespace {

class PropertySets : public vt::test::TablesTest {
  protected:
    CFRef<CFMutableDictionaryRef> set_{CFDictionaryCreateMutable(
        nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks)};
};

TEST_F(PropertySets, FailuresNameTheOperationThatMetThem) {
    CFMutableDictionaryRef error = nullptr;
    EXPECT_EQ(Take(VTPropertySetValue(nullptr, CFSTR("p"), kVTKeyTitle, nullptr)),
              "-50 VTPropertySetValue:: Required input parameter is NULL.");
    // No set under the ID, or something else there: reads find nothing and
    // report nothing; writes store nothing and say so.
    CFDictionarySetValue(Table(kVTTopLevelKeyProperties), CFSTR("odd"), CFSTR("not a set"));
    for (CFStringRef id : {CFSTR("none"), CFSTR("odd")}) {
        EXPECT_EQ(VTPropertyGetValue(nullptr, id, kVTKeyTitle, &error), nullptr);
        EXPECT_EQ(error, nullptr);
        EXPECT_EQ(Take(VTPropertySetValue(nullptr, id, kVTKeyTitle, CFSTR("t"))),
                  "-4960 VTPropertySetValue: Can't find container.");
        EXPECT_FALSE(VTPrivate_PropertyExists(id));
    }
    EXPECT_EQ(VTPrivate_SetOneProperty(nullptr, CFSTR("p"), set_.get()), nullptr);
    CFRef<CFURLRef> url = URL("file:///x");
    EXPECT_EQ(Take(VTPropertySetValue(nullptr, CFSTR("p"), kVTKeyTitle, url.get())),
              "-50 VTPropertySetValue:: Value is not a property-list type.");
    EXPECT_EQ(CFDictionaryGetCount(set_.get()), 0);

    for (CFTypeRef replacement : {CFTypeRef(nullptr), CFTypeRef(CFSTR("not a table"))}) {
        ReplaceTable(kVTTopLevelKeyProperties, replacement);
        EXPECT_EQ(VTPropertyGetValue(nullptr, CFSTR("p"), kVTKeyTitle, &error), nullptr);
        EXPECT_EQ(TakeOut(error), "-4960 VTPrivate_GetOneProperty: Can't find container.");
        EXPECT_EQ(Take(VTPropertySetValue(nullptr, CFSTR("p"), kVTKeyTitle, CFSTR("t"))),
                  "-4960 VTPrivate_GetOneProperty: Can't find container.");
        EXPECT_EQ(Take(VTPrivate_SetOneProperty(nullptr, CFSTR("p"), set_.get())),
                  "-4960 VTPrivate_SetOneProperty: Can't find container.");
        EXPECT_EQ(Take(VTPrivate_RemoveOneProperty(nullptr, CFSTR("p"))),
                  "-4960 VTPrivate_RemoveOneProperty: Can't find container.");
    }
}

TEST_F(PropertySets, SetsAreStoredReadWrittenAndRemoved) {
    CFRef<CFMutableDictionaryRef> earlier(CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(VTPrivate_SetOneProperty(nullptr, CFSTR("p"), earlier.get()), nullptr);
    EXPECT_EQ(VTPrivate_SetOneProperty(nullptr, CFSTR("p"), set_.get()), nullptr);
    // The set itself is the document's; a written value is the document's copy.
    EXPECT_EQ(VTPrivate_GetOneProperty(nullptr, CFSTR("p"), nullptr), set_.get());
    CFRef<CFMutableStringRef> title(CFStringCreateMutableCopy(nullptr, 0, CFSTR("Renamed")));
    EXPECT_EQ(VTPropertySetValue(nullptr, CFSTR("p"), kVTKeyTitle, title.get()), nullptr);
    CFStringAppend(title.get(), CFSTR("!"));
    CFTypeRef stored = CFDictionaryGetValue(set_.get(), kVTKeyTitle);
    EXPECT_EQ(VTPropertyGetValue(nullptr, CFSTR("p"), kVTKeyTitle, nullptr), stored);
    EXPECT_EQ(StringOf(vt::cf::Cast<CFStringRef>(stored)), "Renamed");

    EXPECT_EQ(VTPrivate_RemoveOneProperty(nullptr, CFSTR("p")), nullptr);
    EXPECT_FALSE(VTPrivate_PropertyExists(CFSTR("p")));
    EXPECT_EQ(VTPrivate_RemoveOneProperty(nullptr, CFSTR("p")), nullptr);
}

} // namespace
