// Event descriptors: argument checks, copies and refused coercions.
#include <ApplicationServices/ApplicationServices.h>
#include <gtest/gtest.h>

#include "appleevent/AppleEventTestSupport.h"

TEST(AppleEventDescriptor, FailuresLeaveTheNullDescriptor) {
    AEDesc source, result;
    ASSERT_EQ(AECreateDesc(typeUTF8Text, "\xC3(", 2, &source), noErr);
    EXPECT_EQ(AECoerceDesc(&source, typeUnicodeText, &result), errAECoercionFail);
    EXPECT_EQ(result.descriptorType, OSType(typeNull));
    EXPECT_EQ(result.dataHandle, nullptr);
    EXPECT_EQ(AECoerceDesc(&source, typeAlias, &result), errAECoercionFail);
    EXPECT_EQ(AECoerceDesc(&source, typeBoolean, &result), errAECoercionFail);
    EXPECT_EQ(AECoerceDesc(nullptr, typeUTF8Text, &result), paramErr);
    EXPECT_EQ(AECoerceDesc(&source, typeUTF8Text, nullptr), paramErr);
    // Same type: a copy that outlives the source.
    ASSERT_EQ(AECoerceDesc(&source, typeUTF8Text, &result), noErr);
    EXPECT_EQ(AEDisposeDesc(&source), noErr);
    EXPECT_EQ(source.descriptorType, OSType(typeNull));
    EXPECT_EQ(vt::test::TakeBytes(result), "\xC3(");

    FSRef zeroed = {};
    ASSERT_EQ(AECreateDesc(typeFSRef, &zeroed, 40, &source), noErr);
    EXPECT_EQ(AECoerceDesc(&source, typeAlias, &result), errAECoercionFail);
    AEDisposeDesc(&source);

    char byte = 0;
    EXPECT_EQ(AECreateDesc(typeData, "x", 1, nullptr), paramErr);
    EXPECT_EQ(AECreateDesc(typeData, nullptr, 1, &result), paramErr);
    EXPECT_EQ(AECreateDesc(typeData, "x", -1, &result), paramErr);
    EXPECT_EQ(result.descriptorType, OSType(typeNull));
    EXPECT_EQ(AEDisposeDesc(nullptr), paramErr);
    EXPECT_EQ(AEGetDescData(&result, &byte, -1), paramErr);
}
