// The XML writer: exact canonical output, data line layout, key order, and
// refusal of values that are not property lists.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include "platform/values/Holder.h"
#include "platform/plist/PropertyListInternal.h"

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

using vt::CFRef;

namespace {

const std::string kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                            "<plist version=\"1.0\">\n";

CFStringRef Str(const char *text) {
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}
CFNumberRef Int(SInt64 value) {
    return CFNumberCreate(nullptr, kCFNumberSInt64Type, &value);
}
CFNumberRef Real(double value) {
    return CFNumberCreate(nullptr, kCFNumberFloat64Type, &value);
}

void Set(CFMutableDictionaryRef dict, const char *key, CFTypeRef value) {
    CFRef<CFStringRef> k(Str(key));
    CFDictionarySetValue(dict, k.get(), value);
    CFRelease(value);
}

CFMutableDictionaryRef NewDict() {
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}
CFMutableArrayRef NewArray() {
    return CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
}

std::string Write(CFPropertyListRef value) {
    std::string out;
    EXPECT_TRUE(vt::plist::AppendXML(value, out));
    return out;
}

} // namespace

TEST(PropertyListWriter, WritesEveryElementFormCanonically) {
    CFRef<CFMutableDictionaryRef> dict(NewDict());
    Set(dict.get(), "string", Str("a & b < c > d \"q\" 'x'"));
    Set(dict.get(), "empty", Str(""));
    Set(dict.get(), "int", Int(-42));
    struct {
        SInt64 high;
        UInt64 low;
    } big = {0, UINT64_MAX};
    Set(dict.get(), "big", CFNumberCreate(nullptr, kCFNumberSInt128Type, &big));
    Set(dict.get(), "min", Int(INT64_MIN));
    Set(dict.get(), "real", Real(0.1));
    Set(dict.get(), "whole", Real(3.0));
    Set(dict.get(), "nan", Real(std::nan("")));
    Set(dict.get(), "inf", Real(INFINITY));
    Set(dict.get(), "ninf", Real(-INFINITY));
    Set(dict.get(), "yes", CFRetain(kCFBooleanTrue));
    Set(dict.get(), "no", CFRetain(kCFBooleanFalse));
    Set(dict.get(), "date", CFDateCreate(nullptr, 1.9));
    const UInt8 bytes[] = {0, 1, 2, 255};
    Set(dict.get(), "data", CFDataCreate(nullptr, bytes, 4));
    Set(dict.get(), "a<b", Str("x"));
    CFMutableArrayRef list = NewArray();
    CFRef<CFMutableArrayRef> emptyArray(NewArray());
    CFRef<CFMutableDictionaryRef> emptyDict(NewDict());
    CFRef<CFStringRef> x(Str("x"));
    CFArrayAppendValue(list, emptyArray.get());
    CFArrayAppendValue(list, emptyDict.get());
    CFArrayAppendValue(list, x.get());
    Set(dict.get(), "list", list);

    EXPECT_EQ(Write(dict.get()), kHeader +
                                     "<dict>\n"
                                     "\t<key>a&lt;b</key>\n\t<string>x</string>\n"
                                     "\t<key>big</key>\n\t<integer>18446744073709551615</integer>\n"
                                     "\t<key>data</key>\n\t<data>\n\tAAEC/w==\n\t</data>\n"
                                     "\t<key>date</key>\n\t<date>2001-01-01T00:00:01Z</date>\n"
                                     "\t<key>empty</key>\n\t<string></string>\n"
                                     "\t<key>inf</key>\n\t<real>+infinity</real>\n"
                                     "\t<key>int</key>\n\t<integer>-42</integer>\n"
                                     "\t<key>list</key>\n\t<array>\n\t\t<array/>\n\t\t<dict/>\n"
                                     "\t\t<string>x</string>\n\t</array>\n"
                                     "\t<key>min</key>\n\t<integer>-9223372036854775808</integer>\n"
                                     "\t<key>nan</key>\n\t<real>nan</real>\n"
                                     "\t<key>ninf</key>\n\t<real>-infinity</real>\n"
                                     "\t<key>no</key>\n\t<false/>\n"
                                     "\t<key>real</key>\n\t<real>0.1</real>\n"
                                     "\t<key>string</key>\n"
                                     "\t<string>a &amp; b &lt; c &gt; d \"q\" 'x'</string>\n"
                                     "\t<key>whole</key>\n\t<real>3</real>\n"
                                     "\t<key>yes</key>\n\t<true/>\n"
                                     "</dict>\n</plist>\n");
    EXPECT_EQ(Write(kCFBooleanTrue), kHeader + "<true/>\n</plist>\n");
}

TEST(PropertyListWriter, DataLinesNarrowWithIndentUpToEightLevels) {
    std::vector<UInt8> bytes(200, 0x5a); // 268 base64 characters
    // The lengths of the base64 lines when the data sits `depth` levels deep.
    auto lineLengths = [&](int depth) {
        CFRef<CFTypeRef> value(CFDataCreate(nullptr, bytes.data(), CFIndex(bytes.size())));
        for (int i = 0; i < depth; ++i) {
            CFMutableArrayRef array = NewArray();
            CFArrayAppendValue(array, value.get());
            value.Reset(array);
        }
        std::vector<size_t> lengths;
        std::istringstream lines(Write(value.get()));
        for (std::string line; std::getline(lines, line);) {
            size_t tabs = line.find_first_not_of('\t');
            if (line[tabs] == '<') continue;
            EXPECT_EQ(tabs, size_t(depth));
            lengths.push_back(line.size() - tabs);
        }
        return lengths;
    };
    EXPECT_EQ(lineLengths(0), (std::vector<size_t>{76, 76, 76, 40}));
    EXPECT_EQ(lineLengths(1), (std::vector<size_t>{68, 68, 68, 64}));
    std::vector<size_t> deep(22, 12);
    deep.push_back(4);
    EXPECT_EQ(lineLengths(9), deep);
    CFRef<CFDataRef> empty(CFDataCreate(nullptr, nullptr, 0));
    EXPECT_EQ(Write(empty.get()), kHeader + "<data>\n</data>\n</plist>\n");
}

TEST(PropertyListWriter, SortsKeysByUTF16CodeUnits) {
    CFRef<CFMutableDictionaryRef> dict(NewDict());
    // U+FF5E sorts after U+1F600 in UTF-16 (0xFF5E > 0xD83D), before it by code point.
    for (const char *key : {"\uFF5E", "b", "\U0001F600", "B", "a", "ab", ""})
        Set(dict.get(), key, CFRetain(kCFBooleanTrue));
    std::string text = Write(dict.get());
    std::vector<std::string> keys;
    for (size_t at = 0; (at = text.find("<key>", at)) != std::string::npos; at += 5)
        keys.push_back(text.substr(at + 5, text.find("</key>", at) - at - 5));
    EXPECT_EQ(keys, (std::vector<std::string>{"", "B", "a", "ab", "b", "\U0001F600", "\uFF5E"}));
}

TEST(PropertyListWriter, DatesAreWholeUTCSecondsInFourDigitYears) {
    // The date's text, or "refused"; what is written must read back as the
    // same whole second.
    auto dateText = [](CFAbsoluteTime at) -> std::string {
        CFRef<CFDateRef> date(CFDateCreate(nullptr, at));
        std::string text;
        if (!vt::plist::AppendXML(date.get(), text)) return "refused";
        CFRef<CFPropertyListRef> back(vt::plist::CreateFromXMLBytes(
            nullptr, text.data(), text.size(), kCFPropertyListImmutable, nullptr));
        EXPECT_TRUE(back) << text;
        if (back) {
            EXPECT_EQ(CFDateGetAbsoluteTime(static_cast<CFDateRef>(back.get())), std::floor(at));
        }
        size_t start = text.find("<date>") + 6;
        return text.substr(start, text.find("</date>") - start);
    };
    EXPECT_EQ(dateText(0), "2001-01-01T00:00:00Z");
    EXPECT_EQ(dateText(-0.25), "2000-12-31T23:59:59Z"); // rounds down, not toward zero
    EXPECT_EQ(dateText(-26524800.0), "2000-02-29T00:00:00Z");
    EXPECT_EQ(dateText(-978310800.0), "1969-12-31T23:00:00Z");
    EXPECT_EQ(dateText(-3182153104.0), "1900-03-01T12:34:56Z");
    EXPECT_EQ(dateText(-63113904000.0), "0001-01-01T00:00:00Z");
    EXPECT_EQ(dateText(-63145526400.0), "0000-01-01T00:00:00Z");
    EXPECT_EQ(dateText(252423993599.0), "9999-12-31T23:59:59Z");
    EXPECT_EQ(dateText(252423993599.75), "9999-12-31T23:59:59Z");
    // Beyond the years the reader takes, nothing is written.
    for (double at : {252423993600.0, 3.2e13, -63145526400.25, -63177062400.0, -1e300,
                      double(INFINITY), -double(INFINITY), std::nan("")})
        EXPECT_EQ(dateText(at), "refused") << at;
    CFRef<CFMutableArrayRef> holder(NewArray());
    CFArrayAppendValue(holder.get(), kCFBooleanTrue);
    CFRef<CFDateRef> late(CFDateCreate(nullptr, 252423993600.0));
    CFArrayAppendValue(holder.get(), late.get());
    EXPECT_EQ(CFRef<CFDataRef>(CFPropertyListCreateXMLData(nullptr, holder.get())).get(), nullptr);
    std::FILE *stream = std::tmpfile();
    EXPECT_FALSE(vt::plist::WriteXML(holder.get(), stream));
    std::fclose(stream);
}

TEST(PropertyListWriter, ContainersThatHoldThemselvesAreRefused) {
    // A cycle has no finite form: the check, the writers and the deep copy
    // fail at once instead of following it until memory runs out.
    CFRef<CFMutableArrayRef> self(NewArray());
    CFArrayAppendValue(self.get(), kCFBooleanTrue);
    CFArrayAppendValue(self.get(), self.get());
    CFRef<CFMutableDictionaryRef> outer(NewDict()); // outer -> list -> inner -> outer
    CFRef<CFMutableArrayRef> list(NewArray());
    CFRef<CFMutableDictionaryRef> inner(NewDict());
    Set(outer.get(), "list", CFRetain(list.get()));
    CFArrayAppendValue(list.get(), inner.get());
    Set(inner.get(), "back", CFRetain(outer.get()));
    // Deeper than the levels that are scanned: the innermost of 200 nested
    // arrays holds the 100th.
    CFRef<CFMutableArrayRef> chain(NewArray());
    CFMutableArrayRef innermost = chain.get(), middle = nullptr;
    for (int level = 1; level < 200; ++level) {
        CFMutableArrayRef next = NewArray();
        CFArrayAppendValue(innermost, next);
        CFRelease(next);
        innermost = next;
        if (level == 100) middle = next;
    }
    EXPECT_TRUE(CFPropertyListIsValid(chain.get(), kCFPropertyListXMLFormat_v1_0));
    CFArrayAppendValue(innermost, middle);

    for (CFTypeRef cyclic : {CFTypeRef(self.get()), CFTypeRef(outer.get()), CFTypeRef(list.get()),
                             CFTypeRef(chain.get())}) {
        EXPECT_FALSE(CFPropertyListIsValid(cyclic, kCFPropertyListXMLFormat_v1_0));
        EXPECT_EQ(CFPropertyListCreateXMLData(nullptr, cyclic), nullptr);
        std::string out = "kept";
        EXPECT_FALSE(vt::plist::AppendXML(cyclic, out));
        EXPECT_EQ(out, "kept");
        std::FILE *stream = std::tmpfile();
        EXPECT_FALSE(vt::plist::WriteXML(cyclic, stream));
        EXPECT_EQ(std::ftell(stream), 0);
        std::fclose(stream);
        for (CFOptionFlags option : {kCFPropertyListImmutable, kCFPropertyListMutableContainers,
                                     kCFPropertyListMutableContainersAndLeaves})
            EXPECT_EQ(CFPropertyListCreateDeepCopy(nullptr, cyclic, option), nullptr);
    }

    // The same container in several places, off each other's path, is fine.
    CFRef<CFMutableArrayRef> shared(NewArray());
    CFArrayAppendValue(shared.get(), kCFBooleanFalse);
    CFRef<CFMutableArrayRef> twice(NewArray());
    CFArrayAppendValue(twice.get(), shared.get());
    CFArrayAppendValue(twice.get(), shared.get());
    CFRef<CFMutableDictionaryRef> wrapper(NewDict());
    Set(wrapper.get(), "shared", CFRetain(shared.get()));
    CFArrayAppendValue(twice.get(), wrapper.get());
    EXPECT_TRUE(CFPropertyListIsValid(twice.get(), kCFPropertyListXMLFormat_v1_0));
    CFRef<CFPropertyListRef> copy(CFPropertyListCreateDeepCopy(nullptr, twice.get(), 0));
    EXPECT_TRUE(CFEqual(copy.get(), twice.get()));
    EXPECT_NE(Write(twice.get()).find("<array>\n\t\t<false/>\n\t</array>\n\t<array>"),
              std::string::npos);

    // Break the cycles so the values can be freed.
    CFArrayRemoveValueAtIndex(self.get(), 1);
    CFDictionaryRemoveValue(inner.get(), CFSTR("back"));
    CFArrayRemoveAllValues(innermost);
}

TEST(PropertyListWriter, RefusesValuesThatAreNotPropertyLists) {
    CFRef<CFUUIDRef> uuid(CFUUIDCreate(nullptr));
    CFRef<CFMutableArrayRef> withUUID(NewArray());
    CFArrayAppendValue(withUUID.get(), kCFBooleanTrue);
    CFArrayAppendValue(withUUID.get(), uuid.get());
    CFRef<CFMutableDictionaryRef> withNull(NewDict());
    Set(withNull.get(), "k", CFRetain(kCFNull));
    CFRef<CFMutableDictionaryRef> numberKey(NewDict()); // nested below an array and a dict
    CFDictionarySetValue(numberKey.get(), kCFBooleanTrue, kCFBooleanTrue);
    CFRef<CFMutableArrayRef> inner(NewArray());
    CFArrayAppendValue(inner.get(), numberKey.get());
    CFRef<CFMutableDictionaryRef> deep(NewDict());
    Set(deep.get(), "inner", CFRetain(inner.get()));

    for (CFTypeRef bad :
         {CFTypeRef(nullptr), CFTypeRef(uuid.get()), CFTypeRef(kCFNull), CFTypeRef(withUUID.get()),
          CFTypeRef(withNull.get()), CFTypeRef(deep.get())}) {
        std::string out = "kept";
        EXPECT_FALSE(vt::plist::AppendXML(bad, out));
        EXPECT_EQ(out, "kept");
        EXPECT_EQ(CFPropertyListCreateXMLData(nullptr, bad), nullptr);
        EXPECT_FALSE(CFPropertyListIsValid(bad, kCFPropertyListXMLFormat_v1_0));
        CFErrorRef error = nullptr;
        EXPECT_EQ(CFPropertyListCreateData(nullptr, bad, kCFPropertyListXMLFormat_v1_0, 0, &error),
                  nullptr);
        CFRef<CFErrorRef> held(error);
        EXPECT_EQ(CFErrorGetCode(error), kCFPropertyListWriteStreamError);
        std::FILE *stream = std::tmpfile();
        EXPECT_FALSE(vt::plist::WriteXML(bad, stream));
        EXPECT_EQ(std::ftell(stream), 0); // nothing half-written
        // Without the check first, the write still fails where it meets it.
        EXPECT_FALSE(vt::plist::WriteXML(bad, stream, false));
        std::fclose(stream);
    }
    EXPECT_FALSE(CFPropertyListIsValid(kCFBooleanTrue, kCFPropertyListBinaryFormat_v1_0));
    EXPECT_EQ(CFPropertyListCreateData(nullptr, kCFBooleanTrue, kCFPropertyListBinaryFormat_v1_0, 0,
                                       nullptr),
              nullptr);
}

TEST(PropertyListWriter, StreamAndDataOutputMatchTheString) {
    CFRef<CFMutableArrayRef> array(NewArray());
    CFRef<CFStringRef> texts[] = {CFRef<CFStringRef>(Str("R\u00e9sum\u00e9 & <co>")),
                                  CFRef<CFStringRef>(Str("plain"))};
    for (int i = 0; i < 20000; ++i)
        CFArrayAppendValue(array.get(), texts[i % 2].get());
    std::string expected = Write(array.get());
    ASSERT_GT(expected.size(), 512u * 1024); // spans several flushes

    CFRef<CFDataRef> data(CFPropertyListCreateXMLData(nullptr, array.get()));
    ASSERT_TRUE(data);
    EXPECT_EQ(std::string_view(reinterpret_cast<const char *>(CFDataGetBytePtr(data.get())),
                               size_t(CFDataGetLength(data.get()))),
              expected);

    std::FILE *stream = std::tmpfile();
    ASSERT_TRUE(vt::plist::WriteXML(array.get(), stream));
    std::string streamed(size_t(std::ftell(stream)), '\0');
    std::rewind(stream);
    EXPECT_EQ(std::fread(streamed.data(), 1, streamed.size(), stream), streamed.size());
    std::fclose(stream);
    EXPECT_EQ(streamed, expected);
}

TEST(PropertyListWriter, ControlCharactersNeverMakeAnUnreadableFile) {
    // A raw carriage return would read back as a line feed: it is written as
    // a reference and survives.
    CFRef<CFMutableDictionaryRef> dict(NewDict());
    Set(dict.get(), "line\rkey", Str("a\r\nb\tc\n"));
    std::string out;
    ASSERT_TRUE(vt::plist::AppendXML(dict.get(), out));
    EXPECT_NE(out.find("<key>line&#13;key</key>"), std::string::npos);
    EXPECT_NE(out.find("<string>a&#13;\nb\tc\n</string>"), std::string::npos);
    CFRef<CFPropertyListRef> back(vt::plist::CreateFromXMLBytes(nullptr, out.data(), out.size(),
                                                                kCFPropertyListImmutable, nullptr));
    ASSERT_TRUE(back);
    EXPECT_TRUE(CFEqual(back.get(), dict.get()));

    // Other control characters and U+FFFE/U+FFFF cannot be carried by XML
    // at all: the write fails rather than produce a file no reader accepts.
    for (const char *text : {"bell\x07", "nul\x1b[0m", "\xEF\xBF\xBE", "x\xEF\xBF\xBFy"}) {
        CFRef<CFMutableDictionaryRef> bad(NewDict());
        Set(bad.get(), "Title", Str(text));
        std::string written = "kept";
        EXPECT_FALSE(vt::plist::AppendXML(bad.get(), written)) << text;
        EXPECT_EQ(written, "kept");
        CFRef<CFDataRef> data(CFPropertyListCreateXMLData(nullptr, bad.get()));
        EXPECT_FALSE(data) << text;
        CFRef<CFMutableDictionaryRef> badKey(NewDict());
        Set(badKey.get(), text, Str("value"));
        EXPECT_FALSE(vt::plist::AppendXML(badKey.get(), written)) << text;
    }
    // U+FFFD and other characters near them are fine.
    CFRef<CFMutableDictionaryRef> fine(NewDict());
    Set(fine.get(), "Title", Str("\xEF\xBF\xBD\xEF\xBF\xBC"));
    EXPECT_TRUE(vt::plist::AppendXML(fine.get(), out));
}
