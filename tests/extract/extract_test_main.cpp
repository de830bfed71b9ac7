// Opens the install log in %TEMP% so that the tests can read the lines the extraction writes.
#include <gtest/gtest.h>

#include "diag/install_log.h"

namespace extract_test {
std::wstring TestInstallLogPath();
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    InstallLog::Open(extract_test::TestInstallLogPath());
    const int result = RUN_ALL_TESTS();
    InstallLog::Close();
    return result;
}
