// Seeded mutations of a valid document: whatever the reader accepts must write
// back and read again to an equal value, and whatever it refuses must come
// with a message. Run under the sanitizers, this also catches any overflow or
// leak on malformed input.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include "platform/values/Holder.h"
#include "platform/plist/PropertyListInternal.h"

#include <random>
#include <string>

using vt::CFRef;

namespace {

const char kSeedDocument[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>Array</key>
	<array>
		<string>a &amp; b &lt;c&gt;</string>
		<integer>-9223372036854775808</integer>
		<integer>18446744073709551615</integer>
		<real>2.5e-3</real>
		<true/>
		<false/>
		<date>2026-12-08T01:02:03Z</date>
		<data>
		AAECAwQFBgcICQ==
		</data>
		<array/>
		<dict/>
	</array>
	<key>Caf&#xE9; &#x1F600;</key>
	<string><![CDATA[<raw> & text]]></string>
	<!-- a comment -->
	<key>Nested</key>
	<dict>
		<key>Kind</key>
		<string>FileInfo</string>
		<key>Owners</key>
		<array>
			<string>info.module.library.id.user</string>
		</array>
	</dict>
</dict>
</plist>
)";

const char *const kFragments[] = {"<dict>",    "</dict>",
                                  "<array>",   "</array>",
                                  "<key>",     "</key>",
                                  "<string>",  "&",
                                  "&#0;",      "]]>",
                                  "<integer>", "\xff",
                                  "\xc3",      "<!DOCTYPE x [<!ENTITY a 'b'>]>",
                                  "<data>",    "=",
                                  "0x",        "<date>"};

std::string Mutate(std::string text, std::mt19937 &random) {
    int edits = 1 + int(random() % 4);
    for (int i = 0; i < edits && !text.empty(); ++i) {
        size_t at = random() % text.size();
        switch (random() % 5) {
            case 0:
                text[at] = char(random() % 256);
                break;
            case 1:
                text.erase(at, 1 + random() % 16);
                break;
            case 2:
                text.insert(at, kFragments[random() % std::size(kFragments)]);
                break;
            case 3: {
                size_t length = std::min<size_t>(text.size() - at, 1 + random() % 64);
                text.insert(random() % text.size(), text.substr(at, length));
                break;
            }
            default:
                text.resize(at);
                break;
        }
    }
    return text;
}

} // namespace

TEST(ReaderMutations, AcceptedInputRoundTripsAndRefusedInputExplainsItself) {
    std::mt19937 random(20261208);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text = Mutate(kSeedDocument, random);
        vt::plist::ParseError error;
        CFRef<CFPropertyListRef> value(vt::plist::CreateFromXMLBytes(
            nullptr, text.data(), text.size(), kCFPropertyListMutableContainersAndLeaves, &error));
        if (!value) {
            EXPECT_FALSE(error.message.empty()) << "round " << round;
            continue;
        }
        ++accepted;
        std::string written;
        ASSERT_TRUE(vt::plist::AppendXML(value.get(), written)) << "round " << round;
        CFRef<CFPropertyListRef> again(vt::plist::CreateFromXMLBytes(
            nullptr, written.data(), written.size(), kCFPropertyListImmutable, nullptr));
        ASSERT_TRUE(again) << "round " << round << ":\n" << written;
        EXPECT_TRUE(CFEqual(value.get(), again.get())) << "round " << round;
        std::string rewritten;
        ASSERT_TRUE(vt::plist::AppendXML(again.get(), rewritten));
        EXPECT_EQ(written, rewritten) << "round " << round;
    }
    // Some mutations (inside text, say) leave a valid document.
    EXPECT_GT(accepted, 0);
}
