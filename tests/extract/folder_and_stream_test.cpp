// EnsureFolder, the entry path rules and the decoder's input stream over memory.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstring>

#include "extract/entry_path.h"
#include "extract/payload_extractor.h"
#include "extract/resource_stream.h"
#include "extract_test_support.h"

namespace extract_test {
namespace {

TEST(EnsureFolder, CreatesEveryMissingLevelWithEitherSeparator) {
    TempFolder root;
    const std::wstring nested = root.Path() + L"\\a/b\\c/d";
    ASSERT_TRUE(EnsureFolder(nested));
    EXPECT_NE(0u, GetFileAttributesW(nested.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(Exists(root.Path() + L"\\a\\b\\c"));
    EXPECT_TRUE(EnsureFolder(nested));  // existing is fine
}

TEST(EnsureFolder, AcceptsAnExistingDriveAndRefusesAMissingOne) {
    EXPECT_TRUE(EnsureFolder(L"C:"));
    EXPECT_FALSE(EnsureFolder(L"Q:\\never\\there"));
}

TEST(EnsureFolder, FailsBelowAFile) {
    TempFolder root;
    const std::wstring file = root.Path() + L"\\plain";
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(handle);
    EXPECT_FALSE(EnsureFolder(file + L"\\sub\\deeper"));
}

TEST(EntryPath, JoinsSafeNamesBelowTheTarget) {
    std::wstring path;
    ASSERT_EQ(extract::EntryPathResult::kOk, extract::MakeEntryPath(L"C:\\t", L"a/b.txt", &path));
    EXPECT_EQ(L"C:\\t\\a/b.txt", path);
    EXPECT_EQ(extract::EntryPathResult::kOk, extract::MakeEntryPath(L"C:\\t", L"a/..b/c..", &path));
}

TEST(EntryPath, RefusesNamesThatLeaveTheTarget) {
    std::wstring path = L"unchanged";
    for (const wchar_t* name : {L"..", L"../x", L"a/../../x", L"a\\..\\x", L"a/..", L"/x", L"\\x",
                                L"C:/x", L"C:x", L"x:stream", L""}) {
        EXPECT_EQ(extract::EntryPathResult::kUnsafeName, extract::MakeEntryPath(L"C:\\t", name, &path))
            << std::string(name, name + wcslen(name));
    }
    EXPECT_EQ(L"unchanged", path);
}

TEST(EntryPath, PathMustFitTwoHundredFiftySixCharacters) {
    std::wstring path;
    const std::wstring target = L"C:\\" + std::wstring(100, L't');  // 103 characters
    // 103 + 1 + 151 + terminator = 256: fits exactly; one more does not.
    EXPECT_EQ(extract::EntryPathResult::kOk,
              extract::MakeEntryPath(target, std::wstring(151, L'n'), &path));
    EXPECT_EQ(256u, path.size() + 1);
    EXPECT_EQ(extract::EntryPathResult::kTooLong,
              extract::MakeEntryPath(target, std::wstring(152, L'n'), &path));
    EXPECT_EQ(extract::EntryPathResult::kTooLong,
              extract::MakeEntryPath(L"C:", std::wstring(256, L'n'), &path));
}

TEST(EntryPath, ParentIsUpToTheLastSeparator) {
    EXPECT_EQ(L"C:\\t\\a/b", extract::ParentFolder(L"C:\\t\\a/b/c.txt"));
    EXPECT_EQ(L"C:\\t", extract::ParentFolder(L"C:\\t\\only.txt"));
    EXPECT_EQ(L"", extract::ParentFolder(L"name"));
}

TEST(ResourceStream, LooksAtMostFourKilobytesThroughItsOwnBuffer) {
    std::vector<std::uint8_t> data(10000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    extract::ResourceStream first(data.data(), data.size());
    extract::ResourceStream second(data.data(), data.size());
    ILookInStreamPtr stream = first.LookStream();

    const void* buffer = nullptr;
    size_t size = 1 << 20;
    ASSERT_EQ(SZ_OK, stream->Look(stream, &buffer, &size));
    EXPECT_EQ(4096u, size);
    EXPECT_EQ(0, std::memcmp(buffer, data.data(), size));
    EXPECT_NE(static_cast<const void*>(data.data()), buffer);  // a copy, never the resource itself

    ASSERT_EQ(SZ_OK, stream->Skip(stream, 4000));
    // A second stream over the same bytes, as another block's thread reads it, leaves the first
    // stream's look alone.
    ASSERT_EQ(SZ_OK, second.LookStream()->Skip(second.LookStream(), 0));
    Int64 position = 5000;
    ASSERT_EQ(SZ_OK, second.LookStream()->Seek(second.LookStream(), &position, SZ_SEEK_SET));
    const void* otherBuffer = nullptr;
    size = 10;
    ASSERT_EQ(SZ_OK, second.LookStream()->Look(second.LookStream(), &otherBuffer, &size));
    EXPECT_NE(buffer, otherBuffer);
    EXPECT_EQ(0, std::memcmp(buffer, data.data(), 4096));
    EXPECT_EQ(0, std::memcmp(otherBuffer, data.data() + 5000, 10));
    EXPECT_EQ(4000u, first.Position());
}

TEST(ResourceStream, StopFlagFailsEveryFurtherRead) {
    std::vector<std::uint8_t> data(10000, 0x5A);
    std::atomic<bool> stop{false};
    extract::ResourceStream stream(data.data(), data.size());
    stream.SetStopFlag(&stop);
    ILookInStreamPtr look = stream.LookStream();
    std::uint8_t target[16];
    size_t size = sizeof(target);
    ASSERT_EQ(SZ_OK, look->Read(look, target, &size));
    stop = true;
    size = sizeof(target);
    EXPECT_NE(SZ_OK, look->Read(look, target, &size));
    const void* buffer = nullptr;
    size = 100;
    EXPECT_NE(SZ_OK, look->Look(look, &buffer, &size));
}

TEST(ResourceStream, ReadingAtTheEndFails) {
    const std::uint8_t data[100] = {1, 2, 3};
    extract::ResourceStream resource(data, sizeof(data));
    ILookInStreamPtr stream = resource.LookStream();
    Int64 position = 90;
    ASSERT_EQ(SZ_OK, stream->Seek(stream, &position, SZ_SEEK_SET));
    std::uint8_t out[64];
    size_t size = sizeof(out);
    ASSERT_EQ(SZ_OK, stream->Read(stream, out, &size));
    EXPECT_EQ(10u, size);
    size = sizeof(out);
    EXPECT_EQ(static_cast<SRes>(E_FAIL), stream->Read(stream, out, &size));
    const void* buffer = nullptr;
    EXPECT_EQ(static_cast<SRes>(E_FAIL), stream->Look(stream, &buffer, &size));
}

TEST(ResourceStream, SeeksOnlyInsideTheDataButReportsItsEnd) {
    const std::uint8_t data[100] = {};
    extract::ResourceStream resource(data, sizeof(data));
    ILookInStreamPtr stream = resource.LookStream();
    Int64 position = 100;
    EXPECT_EQ(static_cast<SRes>(E_FAIL), stream->Seek(stream, &position, SZ_SEEK_SET));
    position = -1;
    EXPECT_EQ(static_cast<SRes>(E_FAIL), stream->Seek(stream, &position, SZ_SEEK_SET));
    position = 0;
    ASSERT_EQ(SZ_OK, stream->Seek(stream, &position, SZ_SEEK_END));
    EXPECT_EQ(100, position);
    position = 1;
    EXPECT_EQ(static_cast<SRes>(E_FAIL), stream->Seek(stream, &position, SZ_SEEK_END));
}

TEST(ResourceStream, SkipCannotPassWhatWasLookedAt) {
    const std::uint8_t data[100] = {};
    extract::ResourceStream resource(data, sizeof(data));
    ILookInStreamPtr stream = resource.LookStream();
    const void* buffer = nullptr;
    size_t size = 10;
    ASSERT_EQ(SZ_OK, stream->Look(stream, &buffer, &size));
    EXPECT_EQ(static_cast<SRes>(E_FAIL), stream->Skip(stream, 11));
    EXPECT_EQ(SZ_OK, stream->Skip(stream, 10));
    EXPECT_EQ(10u, resource.Position());
}

}  // namespace
}  // namespace extract_test
