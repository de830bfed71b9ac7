// The resource owners every layer uses: what they release, when, and that a move hands the
// resource over exactly once.
#include <gtest/gtest.h>

#include <windows.h>

#include <utility>

#include "diag/win_handle.h"
#include "test_files.h"

namespace {

using diag_test::ScratchFolder;

// An exclusive handle on `path`; a second one succeeds only after the first is closed.
HANDLE OpenExclusive(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool IsOpenHandle(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

TEST(ScopedHandleTest, ClosesTheFileAtTheEndOfItsScope) {
    ScratchFolder scratch;
    const std::wstring path = scratch / L"held.bin";
    {
        diag::ScopedHandle first(OpenExclusive(path));
        ASSERT_TRUE(first.IsValid());
        diag::ScopedHandle second(OpenExclusive(path));
        EXPECT_FALSE(second.IsValid());  // INVALID_HANDLE_VALUE counts as none
    }
    diag::ScopedHandle again(OpenExclusive(path));
    EXPECT_TRUE(again.IsValid());
}

TEST(ScopedHandleTest, MoveHandsTheHandleOverAndResetClosesIt) {
    diag::ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const HANDLE raw = event.Get();
    ASSERT_TRUE(event.IsValid());

    diag::ScopedHandle taken(std::move(event));
    EXPECT_FALSE(event.IsValid());
    EXPECT_EQ(raw, taken.Get());

    diag::ScopedHandle assigned;
    assigned = std::move(taken);
    EXPECT_FALSE(taken.IsValid());
    EXPECT_TRUE(IsOpenHandle(raw));

    assigned.Reset();
    EXPECT_FALSE(assigned.IsValid());
    EXPECT_FALSE(IsOpenHandle(raw));
}

TEST(ScopedFindHandleTest, AFailedSearchHoldsNothing) {
    ScratchFolder scratch;
    WIN32_FIND_DATAW entry;
    diag::ScopedFindHandle missing(FindFirstFileW((scratch / L"absent*").c_str(), &entry));
    EXPECT_FALSE(missing.IsValid());
    diag::ScopedFindHandle found(FindFirstFileW((scratch.Path() + L"\\*").c_str(), &entry));
    EXPECT_TRUE(found.IsValid());
}

LONG SubkeyCount(HKEY key) {
    DWORD subkeys = 0;
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr);
}

TEST(ScopedRegKeyTest, ReceiveTakesAnOpenedKeyAndResetClosesIt) {
    diag::ScopedRegKey key;
    EXPECT_FALSE(key.IsValid());
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.Receive()));
    // A second Receive releases the first key before the new one is filled in.
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.Receive()));
    const HKEY raw = key.Get();
    EXPECT_EQ(ERROR_SUCCESS, SubkeyCount(raw));
    key.Reset();
    EXPECT_FALSE(key.IsValid());
    EXPECT_NE(ERROR_SUCCESS, SubkeyCount(raw));
}

struct SharedSection {
    diag::CriticalSection section;
    volatile LONG entered = 0;
};

DWORD WINAPI EnterSection(void* parameter) {
    auto* shared = static_cast<SharedSection*>(parameter);
    diag::CriticalSectionLock lock(shared->section);
    InterlockedExchange(&shared->entered, 1);
    return 0;
}

TEST(CriticalSectionTest, AnotherThreadWaitsUntilTheLockGoesOutOfScope) {
    SharedSection shared;
    diag::ScopedHandle thread;
    {
        diag::CriticalSectionLock lock(shared.section);
        thread.Reset(CreateThread(nullptr, 0, EnterSection, &shared, 0, nullptr));
        ASSERT_TRUE(thread.IsValid());
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread.Get(), 200));
        EXPECT_EQ(0, shared.entered);
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.Get(), 5000));
    EXPECT_EQ(1, shared.entered);
}

}  // namespace
