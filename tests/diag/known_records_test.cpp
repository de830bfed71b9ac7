// The committed sample file data/known_records.tlg is what the record builder makes of the known
// records. The pytest beside this file decodes the same file with tools/tlgdump.py, so a change to
// either mask table fails one of the two.
#include <gtest/gtest.h>

#include <cstdlib>

#include "diag/cvlog.h"
#include "known_records.h"
#include "test_files.h"

namespace {

const std::wstring kKnownFile = CVLOG_WIDEN(DIAG_TEST_DATA_DIR) L"/known_records.tlg";

std::vector<std::uint8_t> BuildKnownBytes() {
    std::vector<std::uint8_t> bytes;
    for (const auto& fields : diag_test::KnownRecordFields()) {
        auto record = diag::CVLogRecord::Build(fields);
        if (!record) return {};
        bytes.insert(bytes.end(), record->Data(), record->Data() + record->Size());
    }
    return bytes;
}

TEST(KnownRecords, BuilderReproducesTheCommittedFile) {
    const std::vector<std::uint8_t> built = BuildKnownBytes();
    ASSERT_FALSE(built.empty());
    // PELORA_WRITE_KNOWN_TLG=1 rewrites the file after a deliberate format change.
    const char* rewrite = std::getenv("PELORA_WRITE_KNOWN_TLG");
    if (rewrite != nullptr && rewrite[0] == '1') {
        ASSERT_TRUE(diag_test::WriteBytes(kKnownFile, built));
    }
    const std::vector<std::uint8_t> committed = diag_test::ReadBytes(kKnownFile);
    ASSERT_FALSE(committed.empty()) << "missing " << std::string(kKnownFile.begin(), kKnownFile.end());
    EXPECT_EQ(built, committed);
}

}  // namespace
