// The digests the extraction keeps of chosen entries: those of the bytes the archive holds, for
// the chosen entries only, and none for an entry whose bytes failed their check.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "diag/sha256.h"
#include "extract/payload_digests.h"
#include "extract/payload_extractor.h"
#include "extract_test_support.h"

namespace extract_test {
namespace {

std::wstring DigestOfFile(const std::wstring& path) {
    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    diag::Sha256 hash;
    hash.Add(bytes.data(), bytes.size());
    return hash.Finish();
}

std::vector<std::uint8_t> Archive(const std::wstring& name) {
    std::vector<std::uint8_t> bytes = ReadBytes(DataFolder() + L"\\" + name);
    EXPECT_FALSE(bytes.empty()) << "missing test archive";
    return bytes;
}

const std::wstring kWebComponent = L"program files\\Corvane\\Pelora\\Bin\\WebAPI.dll";
const std::wstring kInstaller = L"CVSSO\\InstCVSSO.exe";

TEST(PayloadDigests, ChosenEntriesGetTheDigestsOfTheirBytesWhateverTheSpelling) {
    const std::wstring reference = DataFolder() + L"\\two_blocks_7zz\\";
    TempFolder target;
    const std::vector<std::uint8_t> archive = Archive(L"two_blocks.7z");
    LogCapture log;
    extract::KeepPayloadDigests({L"Program Files/corvane/Pelora/BIN/webapi.DLL", kInstaller, L"no\\such.dll"});
    ASSERT_EQ(0, ExtractArchive(nullptr, target.Path(), archive.data(), archive.size()));

    const std::wstring webComponent = extract::PayloadDigestOf(kWebComponent);
    EXPECT_EQ(64u, webComponent.size());
    EXPECT_EQ(DigestOfFile(reference + kWebComponent), webComponent);
    EXPECT_EQ(DigestOfFile(reference + kInstaller), extract::PayloadDigestOf(L"cvsso/instcvsso.exe"));
    EXPECT_NE(webComponent, extract::PayloadDigestOf(kInstaller));
    EXPECT_EQ(L"", extract::PayloadDigestOf(L"program files\\Corvane\\Pelora\\Bin\\Pelora.exe")) << "not chosen";
    EXPECT_EQ(L"", extract::PayloadDigestOf(L"no\\such.dll")) << "chosen, but not in the archive";

    // A new choice forgets what the earlier extraction kept.
    extract::KeepPayloadDigests({kInstaller});
    EXPECT_EQ(L"", extract::PayloadDigestOf(kWebComponent));
    EXPECT_EQ(L"", extract::PayloadDigestOf(kInstaller));
}

TEST(PayloadDigests, AnEntryWhoseBytesFailTheirCheckHasNoDigest) {
    TempFolder target;
    const std::vector<std::uint8_t> archive = Archive(L"crc_flip.7z");
    LogCapture log;
    extract::KeepPayloadDigests({L"stored.bin"});
    EXPECT_EQ(1, ExtractArchive(nullptr, target.Path(), archive.data(), archive.size()));
    EXPECT_EQ(L"", extract::PayloadDigestOf(L"stored.bin"));
    extract::KeepPayloadDigests({});
}

}  // namespace
}  // namespace extract_test
