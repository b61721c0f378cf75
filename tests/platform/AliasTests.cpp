// Alias records that are damaged or not alias records at all.
#include <CoreServices/CoreServices.h>
#include <gtest/gtest.h>

#include "support/TestSupport.h"

#include <cstring>
#include <string>

TEST(Alias, RefusesDamagedRecordsAndArguments) {
    vt::test::TempFolder folder;
    const std::string file = folder.Join("f");
    ASSERT_TRUE(vt::test::WriteFile(file, "x"));
    FSRef ref, target, zeroed = {};
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8 *>(file.c_str()), &ref, nullptr), noErr);
    AliasHandle alias = nullptr;
    ASSERT_EQ(FSNewAlias(nullptr, &ref, &alias), noErr);
    ASSERT_EQ(GetAliasSize(alias), GetHandleSize(reinterpret_cast<Handle>(alias)));
    const std::string good(reinterpret_cast<const char *>(*alias), size_t(GetAliasSize(alias)));

    std::string badMagic = good, badLength = good, badPathLength = good, badNul = good;
    badMagic[0] = 'X';
    badLength[11] = char(badLength[11] + 1);
    badPathLength[31] = char(badPathLength[31] + 1);
    badNul.back() = '/';
    for (const std::string &bytes :
         {good, std::string(), std::string("garbage"), good.substr(0, good.size() - 1), good + '\0',
          badMagic, badLength, badPathLength, badNul}) {
        Handle h = NewHandle(Size(bytes.size()));
        ASSERT_NE(h, nullptr);
        if (!bytes.empty()) std::memcpy(*h, bytes.data(), bytes.size());
        auto damaged = reinterpret_cast<AliasHandle>(h);
        EXPECT_EQ(FSResolveAlias(nullptr, damaged, &target, nullptr),
                  bytes == good ? OSErr(noErr) : OSErr(nsvErr));
        EXPECT_EQ(GetAliasSize(damaged), bytes == good ? Size(good.size()) : 0);
        DisposeHandle(h);
    }

    EXPECT_EQ(FSResolveAlias(nullptr, nullptr, &target, nullptr), paramErr);
    EXPECT_EQ(FSResolveAlias(nullptr, alias, nullptr, nullptr), paramErr);
    AliasHandle none = nullptr;
    EXPECT_EQ(FSNewAlias(nullptr, &zeroed, &none), paramErr);
    EXPECT_EQ(FSNewAlias(nullptr, &ref, nullptr), paramErr);
    EXPECT_TRUE(FSIsFSRefValid(&ref));
    EXPECT_FALSE(FSIsFSRefValid(&zeroed));
    EXPECT_EQ(NewHandle(-1), nullptr);
    DisposeHandle(reinterpret_cast<Handle>(alias));
}
