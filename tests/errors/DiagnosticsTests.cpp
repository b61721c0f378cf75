// Diagnostic writers: what reaches standard error, byte for byte.
#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "errors/Diagnostics.h"
#include "platform/values/Holder.h"

#include <string>

#include <unistd.h>

using vt::CFRef;

TEST(Diagnostics, ShowTypeWritesFormatsAndDescriptions) {
    int fortyTwo = 42;
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberIntType, &fortyTwo));
    const void *items[] = {number.get(), CFSTR("two")};
    CFRef<CFArrayRef> array(CFArrayCreate(nullptr, items, 2, &kCFTypeArrayCallBacks));

    testing::internal::CaptureStderr();
    VTU_ShowType(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "VTU_ShowType:: NULL parameter 'theFormat'\n");
    testing::internal::CaptureStderr();
    VTU_ShowType(number.get());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "42");
    testing::internal::CaptureStderr();
    VTU_ShowType(array.get());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "(\n    42,\n    two\n)");
    testing::internal::CaptureStderr();
    VTU_ShowType(CFSTR("%@ is %d, %s\n"), CFSTR("n"), 5, "ünï");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "n is 5, ünï\n");
    testing::internal::CaptureStderr();
    VTU_ShowType(kCFBooleanTrue);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "true");
}

TEST(Diagnostics, SlogWritesTheExpandedTextAsItIs) {
    testing::internal::CaptureStderr();
    slog(nullptr);
    slog("%s=%d;", "a", 1);
    slog("%@ open", CFSTR("line"));
    slog("\xff\xfe not UTF-8 %d", 3);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "a=1;line open");
}

TEST(Diagnostics, VTLogCopiesEachMessageToStandardError) {
    std::string sender = "info.library.quillbay[" + std::to_string(getpid()) + "]: ";
    testing::internal::CaptureStderr();
    VTLog("hello %d %@", 7, CFSTR("world"));
    VTLog("%s", "");
    VTLog("\xff invalid");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), sender + "[Quillbay] hello 7 world\n" +
                                                          sender + "[Quillbay] \n" + sender +
                                                          "[Quillbay] \n");
}
