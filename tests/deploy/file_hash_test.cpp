// SHA-256 of a file through CryptoAPI, checked against the published test vectors (FIPS 180-2).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "deploy/file_hash.h"
#include "removal_test_support.h"

namespace {

TEST(FileHash, KnownDigestsOfShortAndLongFiles) {
    ScratchFolder scratch;
    WriteTestBytes(scratch / L"empty", "");
    WriteTestBytes(scratch / L"abc", "abc");
    WriteTestBytes(scratch / L"two blocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq");
    // A million "a": many reads, the last one short.
    WriteTestBytes(scratch / L"million", std::string(1000000, 'a'));
    EXPECT_EQ(L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", Sha256OfFile(scratch / L"empty"));
    EXPECT_EQ(L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", Sha256OfFile(scratch / L"abc"));
    EXPECT_EQ(L"248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
              Sha256OfFile(scratch / L"two blocks"));
    EXPECT_EQ(L"cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0", Sha256OfFile(scratch / L"million"));
}

// The extraction's workers hash files at the same time, each with its own hash over the one
// provider of the process.
TEST(FileHash, FilesHashedOnSeveralThreadsAtOnceGetTheirOwnDigests) {
    ScratchFolder scratch;
    WriteTestBytes(scratch / L"abc", "abc");
    WriteTestBytes(scratch / L"million", std::string(1000000, 'a'));
    constexpr int kThreads = 4;
    constexpr int kRounds = 10;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const bool small = t % 2 == 0;
            const std::wstring expected =
                small ? L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"
                      : L"cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
            for (int round = 0; round < kRounds; ++round) {
                if (Sha256OfFile(scratch / (small ? L"abc" : L"million")) != expected) ++wrong;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(0, wrong.load());
}

TEST(FileHash, AnOpenFileIsReadFromItsFirstByte) {
    ScratchFolder scratch;
    WriteTestBytes(scratch / L"abc", "abc");
    HANDLE file = CreateFileW((scratch / L"abc").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    char first = 0;
    DWORD read = 0;
    ReadFile(file, &first, 1, &read, nullptr);
    const std::wstring digest = Sha256OfOpenFile(file, scratch / L"abc");
    CloseHandle(file);
    EXPECT_EQ(L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", digest);
}

TEST(FileHash, AFileThatCannotBeReadHasNoDigest) {
    ScratchFolder scratch;
    TestInstallLog log;
    EXPECT_EQ(L"", Sha256OfFile(scratch / L"missing.dll"));
    EXPECT_TRUE(log.Contains(scratch / L"missing.dll")) << "the failure is logged with the file";
    EXPECT_EQ(L"", Sha256OfFile(scratch.Path())) << "a folder has no bytes of its own";

    // A writer holds the file: its bytes may change while they are read.
    WriteTestBytes(scratch / L"held", "abc");
    HANDLE writer = CreateFileW((scratch / L"held").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    const std::wstring digest = Sha256OfFile(scratch / L"held");
    CloseHandle(writer);
    EXPECT_EQ(L"", digest);
}

}  // namespace
