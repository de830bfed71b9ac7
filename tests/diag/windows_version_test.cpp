// The Windows version every layer asks, and the override its tests force it with.
#include <gtest/gtest.h>

#include <windows.h>

#include "diag/windows_version.h"

namespace {

class WindowsVersionTest : public ::testing::Test {
protected:
    void TearDown() override { OverrideOsVersionCode(0); }
};

TEST_F(WindowsVersionTest, RealVersionIsReadAndAgreesWithTheMajorVersion) {
    const uint32_t code = OsVersionCode();
    ASSERT_NE(0u, code);
    EXPECT_EQ(code, OsVersionCode());  // cached, and the same on every call
    // GetVersionExW may report less than the real version to a program without a manifest
    // (Windows 8.1 and later), never more.
    EXPECT_NE(0u, OsMajorVersion());
    EXPECT_LE(OsMajorVersion(), code >> 8);
    EXPECT_EQ(code >= 0x600, IsVistaOrLater());
}

TEST_F(WindowsVersionTest, OverrideAnswersForBothSourcesUntilCleared) {
    const uint32_t real = OsVersionCode();
    OverrideOsVersionCode(0x501);
    EXPECT_EQ(0x501u, OsVersionCode());
    EXPECT_EQ(5u, OsMajorVersion());
    EXPECT_FALSE(IsVistaOrLater());

    OverrideOsVersionCode(0x600);
    EXPECT_EQ(6u, OsMajorVersion());
    EXPECT_TRUE(IsVistaOrLater());

    OverrideOsVersionCode(0);
    EXPECT_EQ(real, OsVersionCode());
    EXPECT_LE(OsMajorVersion(), real >> 8);
}

}  // namespace
