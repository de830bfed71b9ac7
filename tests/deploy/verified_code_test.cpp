// Code run from the user's folders: only a file with the product's digest, held so that nobody
// can change, delete or rename it between the check and its start, while the loader can still map it.
#include <gtest/gtest.h>

#include "deploy/file_hash.h"
#include "deploy/verified_code.h"
#include "removal_test_support.h"

namespace {

constexpr wchar_t kAbcDigest[] = L"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";

TEST(VerifiedCode, TheProductsFileIsHeldAgainstChangesUntilReleased) {
    ScratchFolder scratch;
    const std::wstring path = scratch / L"program.exe";
    WriteTestBytes(path, "abc");
    VerifiedCode held = VerifiedCode::Check(path, kAbcDigest);  // upper-case digits are the same digest
    ASSERT_TRUE(held.IsValid());

    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer) << "written while held";
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    EXPECT_FALSE(DeleteFileW(path.c_str())) << "deleted while held";
    EXPECT_FALSE(MoveFileW(path.c_str(), (scratch / L"elsewhere.exe").c_str())) << "renamed while held";
    // Opened for running, the way the loader and CreateProcess open it.
    HANDLE runner = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_EXECUTE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, runner) << "the holder keeps the file from running";
    if (runner != INVALID_HANDLE_VALUE) CloseHandle(runner);

    held.Release();
    EXPECT_TRUE(DeleteFileW(path.c_str()));
}

TEST(VerifiedCode, AHeldLibraryStillLoadsWithItsImportsFromTheSystem) {
    ScratchFolder scratch;
    const std::wstring path = scratch / L"WebAPI.dll";
    ASSERT_TRUE(CopyFileW(PELORA_WEB_COMPONENT_PATH, path.c_str(), FALSE));
    VerifiedCode held = VerifiedCode::Check(path, Sha256OfFile(path));
    ASSERT_TRUE(held.IsValid());
    HMODULE library = LoadLibraryExW(path.c_str(), nullptr, SystemOnlyLoadFlags());
    EXPECT_NE(nullptr, library) << "error " << GetLastError();
    EXPECT_NE(nullptr, library ? GetProcAddress(library, "DllRegisterServer") : nullptr);
    if (library) FreeLibrary(library);
}

TEST(VerifiedCode, EverythingElseIsRefusedWithItsReasonInTheLog) {
    ScratchFolder scratch;
    const std::wstring path = scratch / L"program.exe";
    WriteTestBytes(path, "abd");
    struct Case {
        const char* what;
        std::wstring path, digest;
        const wchar_t* reason;
    };
    const Case cases[] = {
        {"other bytes", path, kAbcDigest, deploy::kReasonForeign},
        {"no digest", path, L"", deploy::kReasonNoDigest},
        {"a folder", scratch.Path(), kAbcDigest, deploy::kReasonCannotHold},
        {"a missing file", scratch / L"missing.exe", kAbcDigest, deploy::kReasonCannotHold},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestInstallLog log;
        EXPECT_FALSE(VerifiedCode::Check(c.path, c.digest).IsValid());
        EXPECT_TRUE(log.Contains(L"[setup]" + c.path + L" is not run: " + c.reason));
    }

    // A program that has the file open for writing may still change it: not held, not run.
    WriteTestBytes(path, "abc");
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    TestInstallLog log;
    EXPECT_FALSE(VerifiedCode::Check(path, kAbcDigest).IsValid());
    CloseHandle(writer);
    EXPECT_TRUE(log.Contains(deploy::kReasonCannotHold));
    EXPECT_TRUE(VerifiedCode::Check(path, kAbcDigest).IsValid()) << "once the writer is gone";
}

}  // namespace
