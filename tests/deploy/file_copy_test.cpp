// The deployment's copy routine against the system's own CopyFileW: the same bytes, attributes
// and times, the same refusals, and no half-written target.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "deploy/file_copy.h"
#include "deploy/file_system.h"
#include "deploy_test_support.h"

namespace {

// Bytes that differ from piece to piece, so that a piece written twice or skipped shows.
void WriteCountingFile(const std::wstring& path, size_t size) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 131 + i / 4093) & 0xFF);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, data.data(), static_cast<DWORD>(size), &written, nullptr));
    CloseHandle(file);
}

FILETIME LastWrite(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

TEST(FileContentsCopy, MatchesCopyFileWForEmptySmallAndMultiPieceFiles) {
    ScratchFolder scratch;
    for (size_t size : {size_t(0), size_t(1), size_t((4u << 20) * 2 + 3)}) {
        SCOPED_TRACE(size);
        const std::wstring source = scratch / L"source.bin";
        WriteCountingFile(source, size);
        // An old timestamp and the read-only mark, which CopyFileW carries over.
        FILETIME old = {0x12345600, 0x01D00000};
        HANDLE file = CreateFileW(source.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &old));
        CloseHandle(file);
        SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY);

        const std::wstring ours = scratch / L"ours.bin";
        const std::wstring system = scratch / L"system.bin";
        WriteTestFile(ours, 10, 'o');  // an older file of that name is replaced
        ASSERT_TRUE(CopyFileContents(source, ours));
        ASSERT_TRUE(CopyFileW(source.c_str(), system.c_str(), FALSE));

        EXPECT_EQ(ReadTestFile(system), ReadTestFile(ours));
        EXPECT_EQ(size, ReadTestFile(ours).size());
        EXPECT_EQ(GetFileAttributesW(system.c_str()), GetFileAttributesW(ours.c_str()));
        EXPECT_TRUE(SameTime(LastWrite(system), LastWrite(ours)));
        for (const std::wstring& path : {source, ours, system}) {
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
        }
    }
}

TEST(FileContentsCopy, RefusesATargetInUseOrReadOnlyAndLeavesItAlone) {
    ScratchFolder scratch;
    const std::wstring source = scratch / L"new.dll";
    WriteTestFile(source, 5000, 'n');
    const std::wstring held = scratch / L"held.dll";
    WriteTestFile(held, 20, 'h');
    const std::string heldBefore = ReadTestFile(held);
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);

    EXPECT_FALSE(CopyFileContents(source, held));
    const DWORD ourError = GetLastError();
    EXPECT_FALSE(CopyFileW(source.c_str(), held.c_str(), FALSE));
    EXPECT_EQ(GetLastError(), ourError);
    CloseHandle(holder);
    EXPECT_EQ(heldBefore, ReadTestFile(held));

    const std::wstring readOnly = scratch / L"readonly.dll";
    WriteTestFile(readOnly, 7, 'r');
    const std::string readOnlyBefore = ReadTestFile(readOnly);
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    // Windows refuses to copy over a read-only file (Wine's CopyFileW does not, so no comparison).
    EXPECT_FALSE(CopyFileContents(source, readOnly));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(readOnlyBefore, ReadTestFile(readOnly));
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);

    EXPECT_FALSE(CopyFileContents(scratch / L"absent.dll", scratch / L"target.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(FileOrFolderExists(scratch / L"target.dll"));
}

}  // namespace
