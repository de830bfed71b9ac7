// The free-space verdict at its exact boundary, on real drives: tests/deploy/test_free_space_boundary.py
// maps two size-limited tmpfs mounts into the prefix, one with exactly the required space free and
// one with a page more, and names them in the environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "deploy/install_folder_check.h"

namespace {

std::wstring DriveFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::wstring(value, value + std::strlen(value)) : std::wstring();
}

TEST(FreeSpaceBoundary, ExactlyTheRequiredSpaceIsTooLittleAndOnePageMoreIsEnough) {
    const std::wstring exact = DriveFromEnvironment("PELORA_EXACT_SPACE_DRIVE");
    const std::wstring roomier = DriveFromEnvironment("PELORA_ONE_PAGE_MORE_DRIVE");
    if (exact.empty() || roomier.empty()) {
        GTEST_SKIP() << "needs the tmpfs drives of tests/deploy/test_free_space_boundary.py";
    }
    EXPECT_EQ(kInstallFolderDiskFull, CheckInstallFolder(exact + L"\\Pelora", kRequiredInstallSpace));
    EXPECT_EQ(kInstallFolderOk, CheckInstallFolder(roomier + L"\\Pelora", kRequiredInstallSpace));
}

}  // namespace
