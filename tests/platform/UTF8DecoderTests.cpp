// The streaming UTF-8 decoder shared by string creation and program output.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include "platform/strings/UTF8Decoder.h"
#include "platform/values/Holder.h"

#include <string>
#include <vector>

namespace {

using Units = std::vector<UniChar>;

// Decodes the text fed in two pieces split at `split`.
Units Decode(const std::string &text, size_t split, bool &invalid) {
    Units units;
    auto emit = [&units](UniChar unit) { units.push_back(unit); };
    vt::cf::str::UTF8Decoder decoder;
    auto *bytes = reinterpret_cast<const uint8_t *>(text.data());
    decoder.Decode(bytes, split, emit);
    decoder.Decode(bytes + split, text.size() - split, emit);
    decoder.Finish(emit);
    invalid = decoder.SawInvalid();
    return units;
}

} // namespace

TEST(UTF8Decoder, EverySplitGivesTheSameUnitsAndStringsAgree) {
    struct Row {
        std::string bytes;
        Units expected;
    };
    const UniChar R = 0xFFFD;
    const Row rows[] = {
        {"a\xC3\xA9z", {'a', 0xE9, 'z'}},
        {"\xE2\x82\xAC", {0x20AC}},
        {"\xF0\x9F\x98\x80!", {0xD83D, 0xDE00, '!'}},
        {"\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
        // A stray continuation byte; a bad lead byte; a truncated sequence.
        {"a\x80"
         "b\xFF"
         "c\xE2\x82"
         "d",
         {'a', R, 'b', R, 'c', R, 'd'}},
        // A surrogate and an overlong form: one replacement per byte.
        {"\xED\xA0\x80", {R, R, R}},
        {"\xC0\xAF", {R, R}},
        {"\xF4\x90\x80\x80", {R, R, R, R}},
        {"\xE0\x80\x80", {R, R, R}},
        {"\xC3\xA9\xC3", {0xE9, R}},
        // Cut off by the end of the input.
        {"x\xF0\x9F\x98", {'x', R}},
    };
    for (const Row &row : rows) {
        for (size_t split = 0; split <= row.bytes.size(); ++split) {
            bool invalid = false;
            EXPECT_EQ(Decode(row.bytes, split, invalid), row.expected)
                << testing::PrintToString(row.bytes) << " split at " << split;
            bool replaced = false;
            for (size_t i = 0; i < row.expected.size(); ++i)
                replaced = replaced || row.expected[i] == R;
            EXPECT_EQ(invalid, replaced) << testing::PrintToString(row.bytes);
        }
        // Strict string creation accepts exactly the text the decoder
        // decodes without a replacement.
        bool invalid = false;
        Decode(row.bytes, 0, invalid);
        vt::CFRef<CFStringRef> string(
            CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8 *>(row.bytes.data()),
                                    CFIndex(row.bytes.size()), kCFStringEncodingUTF8, false));
        EXPECT_EQ(string.get() == nullptr, invalid) << testing::PrintToString(row.bytes);
        if (string) {
            Units units(size_t(CFStringGetLength(string.get())));
            CFStringGetCharacters(string.get(), CFRangeMake(0, CFIndex(units.size())),
                                  units.data());
            EXPECT_EQ(units, row.expected);
        }
    }
}
