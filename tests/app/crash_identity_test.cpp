// What the crash monitor is told about the setup: the version split and the identity's values.
#include <gtest/gtest.h>

#include "app/crash_identity.h"

namespace {

using app::CrashVersionFromText;

TEST(CrashVersionTest, SplitsMajorAndMinorAndTakesTheBuildOnlyFromFourComponents) {
    app::CrashVersion version = CrashVersionFromText(L"1.14.301");
    EXPECT_EQ(version.major, 1);
    EXPECT_EQ(version.minor, 14);
    EXPECT_EQ(version.build, 0u) << "three components carry no build";

    version = CrashVersionFromText(L"2.5.77.9");
    EXPECT_EQ(version.major, 2);
    EXPECT_EQ(version.minor, 5);
    EXPECT_EQ(version.build, 77u);

    // A minor above 99 carries into the major (first × 100 + second, split again by 100).
    version = CrashVersionFromText(L"1.123");
    EXPECT_EQ(version.major, 2);
    EXPECT_EQ(version.minor, 23);
}

TEST(CrashVersionTest, TextThatIsNoVersionGivesZeros) {
    for (const wchar_t* text : {L"", L"1", L"1..2", L"a.b.c", L"1.14.", L"1.-4.3", L"99999999999.1"}) {
        const app::CrashVersion version = CrashVersionFromText(text);
        EXPECT_EQ(version.major, 0) << text;
        EXPECT_EQ(version.minor, 0) << text;
        EXPECT_EQ(version.build, 0u) << text;
    }
}

TEST(CrashIdentityTest, CarriesTheSetupsNamesVersionAndFixedValues) {
    const diag::CrashIdentity identity = app::MakeSetupCrashIdentity(L"C:\\x\\PeloraSetup.exe");
    EXPECT_EQ(identity.languageId, 1033u);
    EXPECT_EQ(identity.productCode, L"PeloraSetup");
    EXPECT_EQ(identity.displayName, L"映彩直播");
    EXPECT_EQ(identity.productExecutable, L"C:\\x\\PeloraSetup.exe");
    EXPECT_EQ(identity.extraText, L"");
    EXPECT_EQ(identity.versionMajor, 1);
    EXPECT_EQ(identity.versionMinor, 14);
    EXPECT_EQ(identity.versionBuild, 0u);
    EXPECT_TRUE(identity.flagA);
    EXPECT_TRUE(identity.flagB);
    EXPECT_EQ(identity.creationValue, 100u);
    EXPECT_EQ(identity.address, ~uintptr_t{0});
}

}  // namespace
