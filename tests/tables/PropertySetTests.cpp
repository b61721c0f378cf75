// Property sets: storing, reading, writing and removing a library's set.
#include "tables/TablesTestSupport.h"

using vt::CFRef;
using vt::test::StringOf;
using vt::test::Take;
using vt::test::TakeOut;

namespace {

class PropertySets : public vt::test::TablesTest {
  protected:
    static CFRef<CFMutableDictionaryRef> NewSet(CFStringRef title) {
        CFRef<CFMutableDictionaryRef> set(CFDictionaryCreateMutable(
            nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
        CFDictionarySetValue(set.get(), kVTKeyKind, kVTKindProperties);
        CFDictionarySetValue(set.get(), kVTKeyTitle, title);
        return set;
    }
    static std::string Title(CFStringRef propertyID) {
        return StringOf(static_cast<CFStringRef>(
            VTPropertyGetValue(nullptr, propertyID, kVTKeyTitle, nullptr)));
    }
};

TEST_F(PropertySets, FailuresAreReportedByTheOperationThatMetThem) {
    CFRef<CFMutableDictionaryRef> set = NewSet(CFSTR("Mine"));
    CFMutableDictionaryRef error = nullptr;
    struct Row {
        CFMutableDictionaryRef record;
        const char *expected;
    };
    // Missing arguments name the operation called.
    EXPECT_EQ(VTPropertyGetValue(nullptr, CFSTR("p"), nullptr, &error), nullptr);
    EXPECT_EQ(TakeOut(error), "-50 VTPropertyGetValue:: Required input parameter is NULL.");
    EXPECT_EQ(VTPrivate_GetOneProperty(nullptr, nullptr, &error), nullptr);
    EXPECT_EQ(TakeOut(error), "-50 VTPrivate_GetOneProperty:: Required input parameter is NULL.");
    for (Row row : {
             Row{VTPropertySetValue(nullptr, CFSTR("p"), kVTKeyTitle, nullptr),
                 "-50 VTPropertySetValue:: Required input parameter is NULL."},
             Row{VTPropertySetValue(nullptr, nullptr, kVTKeyTitle, CFSTR("t")),
                 "-50 VTPropertySetValue:: Required input parameter is NULL."},
             Row{VTPrivate_SetOneProperty(nullptr, CFSTR("p"), nullptr),
                 "-50 VTPrivate_SetOneProperty:: Required input parameter is NULL."},
             Row{VTPrivate_RemoveOneProperty(nullptr, nullptr),
                 "-50 VTPrivate_RemoveOneProperty:: Required input parameter is NULL."},
         })
        EXPECT_EQ(Take(row.record), row.expected);
    EXPECT_FALSE(VTPrivate_PropertyExists(nullptr));

    // An ID without a set: reading finds nothing, writing says so and
    // creates nothing; a value of the wrong type is no set.
    CFDictionarySetValue(Table(kVTTopLevelKeyProperties), CFSTR("odd"), CFSTR("not a set"));
    for (CFStringRef id : {CFSTR("none"), CFSTR("odd")}) {
        SCOPED_TRACE(StringOf(id));
        EXPECT_EQ(VTPropertyGetValue(nullptr, id, kVTKeyTitle, &error), nullptr);
        EXPECT_EQ(error, nullptr);
        EXPECT_EQ(Take(VTPropertySetValue(nullptr, id, kVTKeyTitle, CFSTR("t"))),
                  "-4960 VTPropertySetValue: Can't find container.");
        EXPECT_FALSE(VTPrivate_PropertyExists(id));
    }
    EXPECT_EQ(CFDictionaryGetCount(Table(kVTTopLevelKeyProperties)), 1);

    // A value the document cannot hold.
    EXPECT_EQ(VTPrivate_SetOneProperty(nullptr, CFSTR("p"), set.get()), nullptr);
    CFRef<CFURLRef> url = URL("file:///x");
    EXPECT_EQ(Take(VTPropertySetValue(nullptr, CFSTR("p"), kVTKeyTitle, url.get())),
              "-50 VTPropertySetValue:: Value is not a property-list type.");
    EXPECT_EQ(Title(CFSTR("p")), "Mine");

    // No Properties table, or one of the wrong type.
    for (CFTypeRef replacement : {static_cast<CFTypeRef>(nullptr), CFTypeRef(CFSTR("x"))}) {
        ReplaceTable(kVTTopLevelKeyProperties, replacement);
        EXPECT_EQ(VTPropertyGetValue(nullptr, CFSTR("p"), kVTKeyTitle, &error), nullptr);
        EXPECT_EQ(TakeOut(error), "-4960 VTPrivate_GetOneProperty: Can't find container.");
        for (Row row : {
                 Row{VTPropertySetValue(nullptr, CFSTR("p"), kVTKeyTitle, CFSTR("t")),
                     "-4960 VTPrivate_GetOneProperty: Can't find container."},
                 Row{VTPrivate_SetOneProperty(nullptr, CFSTR("p"), set.get()),
                     "-4960 VTPrivate_SetOneProperty: Can't find container."},
                 Row{VTPrivate_RemoveOneProperty(nullptr, CFSTR("p")),
                     "-4960 VTPrivate_RemoveOneProperty: Can't find container."},
             })
            EXPECT_EQ(Take(row.record), row.expected);
        EXPECT_FALSE(VTPrivate_PropertyExists(CFSTR("p")));
        EXPECT_EQ(CFDictionaryGetValue(Document(), kVTTopLevelKeyProperties), replacement);
    }
}

TEST_F(PropertySets, SetsAreStoredReadWrittenAndRemoved) {
    CFRef<CFMutableDictionaryRef> first = NewSet(CFSTR("First"));
    CFRef<CFMutableDictionaryRef> second = NewSet(CFSTR("Second"));
    EXPECT_EQ(VTPrivate_SetOneProperty(nullptr, CFSTR("p"), first.get()), nullptr);
    EXPECT_EQ(VTPrivate_SetOneProperty(nullptr, CFSTR("p"), second.get()), nullptr);
    EXPECT_TRUE(VTPrivate_PropertyExists(CFSTR("p")));
    EXPECT_EQ(CFDictionaryGetCount(Table(kVTTopLevelKeyProperties)), 1);
    // The set itself is the document's: the caller's later edits show.
    EXPECT_EQ(VTPrivate_GetOneProperty(nullptr, CFSTR("p"), nullptr), second.get());
    CFDictionarySetValue(second.get(), kVTKeyNotes, CFSTR("noted"));
    EXPECT_EQ(StringOf(static_cast<CFStringRef>(
                  VTPropertyGetValue(nullptr, CFSTR("p"), kVTKeyNotes, nullptr))),
              "noted");
    EXPECT_EQ(Title(CFSTR("p")), "Second");

    // Written values are copies; an absent key reads as NULL without a record.
    CFRef<CFMutableStringRef> title(CFStringCreateMutableCopy(nullptr, 0, CFSTR("Renamed")));
    EXPECT_EQ(VTPropertySetValue(nullptr, CFSTR("p"), kVTKeyTitle, title.get()), nullptr);
    CFStringAppend(title.get(), CFSTR("!"));
    EXPECT_EQ(Title(CFSTR("p")), "Renamed");
    CFMutableDictionaryRef error = nullptr;
    EXPECT_EQ(VTPropertyGetValue(nullptr, CFSTR("p"), kVTKeyWebsite, &error), nullptr);
    EXPECT_EQ(error, nullptr);

    EXPECT_EQ(VTPrivate_RemoveOneProperty(nullptr, CFSTR("p")), nullptr);
    EXPECT_FALSE(VTPrivate_PropertyExists(CFSTR("p")));
    EXPECT_EQ(VTPrivate_RemoveOneProperty(nullptr, CFSTR("p")), nullptr);
    EXPECT_EQ(VTPrivate_GetOneProperty(nullptr, CFSTR("p"), &error), nullptr);
    EXPECT_EQ(error, nullptr);
}

} // namespace
