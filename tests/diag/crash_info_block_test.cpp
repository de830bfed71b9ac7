// The crash information block: the 32-bit layout the reporter reads (checked on every build) and
// the block this process makes for itself.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <string>

#include "diag/crash_info_block.h"
#include "diag/crash_info_block_store.h"
#include "diag/crash_info_builder.h"

namespace {

using diag::CrashInfoBlock;
using diag::CrashInfoBlock32;

TEST(CrashInfoBlockLayoutTest, The32BitBlockHasTheReportersOffsetsOnEveryBuild) {
    EXPECT_EQ(offsetof(CrashInfoBlock32, totalSize), 0u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, flags), 4u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, savedStackBase), 8u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, savedStackLimit), 12u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, processId), 16u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, creatorThreadId), 20u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, crashThreadId), 24u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, userNumber), 28u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, crashThreadTeb), 32u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, creationValue), 36u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, processPeb), 40u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, languageId), 44u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, exceptionRecord), 48u);
    EXPECT_EQ(sizeof(CrashInfoBlock32::exceptionRecord), 80u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, context), 128u);
    EXPECT_EQ(sizeof(CrashInfoBlock32::context), 716u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, exceptionPointers), 844u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, moduleName), 848u);
    EXPECT_EQ(sizeof(CrashInfoBlock32::moduleName), 520u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, moduleOffset), 1368u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, stringOffsets), 1492u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, versionMajor), 1512u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, versionMinor), 1514u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, versionBuild), 1516u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, flagA), 1520u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, flagB), 1521u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, clearedAtCrash), 1524u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, unused), 1528u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, crashTick), 1532u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, workBuffer), 1536u);
    EXPECT_EQ(offsetof(CrashInfoBlock32, workBufferSize), 1540u);
    EXPECT_EQ(sizeof(CrashInfoBlock32), 1544u);
}

TEST(CrashInfoBlockLayoutTest, ThisBuildsBlockGrowsOnlyWithItsPointers) {
    if (sizeof(void*) == 4) {
        EXPECT_EQ(sizeof(CrashInfoBlock), sizeof(CrashInfoBlock32));
        EXPECT_EQ(offsetof(CrashInfoBlock, workBufferSize), offsetof(CrashInfoBlock32, workBufferSize));
    } else {
        EXPECT_GT(sizeof(CrashInfoBlock), sizeof(CrashInfoBlock32));
        EXPECT_EQ(sizeof(CrashInfoBlock::context), sizeof(CONTEXT));
    }
    // The strings follow the header directly on both.
    EXPECT_EQ(sizeof(CrashInfoBlock) % sizeof(wchar_t), 0u);
}

diag::CrashIdentity SampleIdentity() {
    diag::CrashIdentity identity;
    identity.languageId = 1033;
    identity.productCode = L"PeloraSetup";
    identity.displayName = L"映彩直播";
    identity.productExecutable = L"C:\\Setup\\PeloraSetup.exe";
    identity.extraText = L"";
    identity.versionMajor = 1;
    identity.versionMinor = 14;
    identity.versionBuild = 7;
    identity.flagA = true;
    identity.flagB = false;
    identity.creationValue = 100;
    identity.address = ~uintptr_t{0};
    return identity;
}

bool AllZero(const void* bytes, size_t size) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < size; ++i)
        if (p[i] != 0) return false;
    return true;
}

TEST(CrashInfoBlockBuilderTest, FillsTheHeaderFromTheIdentityAndThisProcess) {
    const CrashInfoBlock* block = diag::CreateCrashInfoBlock(SampleIdentity());
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->flags, 0u);
    EXPECT_EQ(block->processId, GetCurrentProcessId());
    EXPECT_EQ(block->creatorThreadId, GetCurrentThreadId());
    EXPECT_EQ(block->crashThreadId, 0u);
    EXPECT_EQ(block->languageId, 1033u);
    EXPECT_EQ(block->creationValue, 100u);
    EXPECT_EQ(block->versionMajor, 1);
    EXPECT_EQ(block->versionMinor, 14);
    EXPECT_EQ(block->versionBuild, 7u);
    EXPECT_EQ(block->flagA, 1);
    EXPECT_EQ(block->flagB, 0);
    EXPECT_NE(block->processPeb, 0u);
    EXPECT_EQ(block->moduleOffset, 1u) << "-1 marks no module";
    EXPECT_EQ(block->moduleName[0], L'\0');
    // The crash-time fields stay empty until a crash.
    EXPECT_TRUE(AllZero(&block->exceptionRecord, sizeof(block->exceptionRecord)));
    EXPECT_TRUE(AllZero(&block->context, sizeof(block->context)));
    EXPECT_TRUE(AllZero(block->reserved, sizeof(block->reserved)));
    EXPECT_EQ(block->crashTick, 0u);
    EXPECT_EQ(block->exceptionPointers, 0u);
    // The work buffer: 3276 zeroed bytes of the runtime's heap.
    ASSERT_NE(block->workBuffer, 0u);
    EXPECT_EQ(block->workBufferSize, 3276u);
    EXPECT_TRUE(AllZero(reinterpret_cast<const void*>(block->workBuffer), 3276));
}

TEST(CrashInfoBlockBuilderTest, StoresTheFiveStringsInOrderBehindTheHeader) {
    const CrashInfoBlock* block = diag::CreateCrashInfoBlock(SampleIdentity());
    ASSERT_NE(block, nullptr);
    wchar_t running[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, running, MAX_PATH);
    const std::wstring expected[] = {L"PeloraSetup", L"映彩直播", L"C:\\Setup\\PeloraSetup.exe", L"", running};

    size_t offset = sizeof(CrashInfoBlock);
    for (int i = 0; i < diag::kCrashStringCount; ++i) {
        EXPECT_EQ(block->stringOffsets[i], offset) << "string " << i;
        EXPECT_EQ(std::wstring(diag::CrashBlockString(*block, i)), expected[i]) << "string " << i;
        offset += (expected[i].size() + 1) * sizeof(wchar_t);
    }
    EXPECT_EQ(block->totalSize, offset);
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, block), offset) << "one block of the process heap";
}

// The crash path copies the strings of a block that a wild write may have damaged: the reader
// answers "" rather than lead the copy beyond the block.
TEST(CrashInfoBlockStringTest, ReadsOnlyStringsThatEndInsideTheBlock) {
    // The block with zeroed room behind it, so that a reader going beyond it still finds a 0.
    struct BlockWithRoom {
        CrashInfoBlock block;
        wchar_t room[64];
    };
    static_assert(offsetof(BlockWithRoom, room) == sizeof(CrashInfoBlock), "the strings follow the header");
    static BlockWithRoom storage;
    storage = {};
    CrashInfoBlock& block = storage.block;
    std::wcscpy(storage.room, L"whole");
    const uint32_t first = sizeof(CrashInfoBlock);
    block.totalSize = first + 6 * sizeof(wchar_t);
    for (uint32_t& offset : block.stringOffsets) offset = first;
    EXPECT_STREQ(diag::CrashBlockString(block, 4), L"whole");

    EXPECT_STREQ(diag::CrashBlockString(block, -1), L"");
    EXPECT_STREQ(diag::CrashBlockString(block, diag::kCrashStringCount), L"");
    block.stringOffsets[0] = block.totalSize;
    EXPECT_STREQ(diag::CrashBlockString(block, 0), L"") << "an offset at the block's end";
    block.stringOffsets[1] = 16;
    EXPECT_STREQ(diag::CrashBlockString(block, 1), L"") << "an offset inside the header";
    // The block ends before the string's terminator.
    block.totalSize = first + 3 * sizeof(wchar_t);
    EXPECT_STREQ(diag::CrashBlockString(block, 2), L"");
}

TEST(CrashInfoBlockBuilderTest, NamesTheModuleOfAnAddressOutsideTheExecutable) {
    diag::CrashIdentity identity = SampleIdentity();
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto inKernel = reinterpret_cast<uintptr_t>(GetProcAddress(kernel, "GetTickCount"));
    identity.address = inKernel;
    const CrashInfoBlock* block = diag::CreateCrashInfoBlock(identity);
    ASSERT_NE(block, nullptr);
    MEMORY_BASIC_INFORMATION memory = {};
    ASSERT_NE(VirtualQuery(reinterpret_cast<void*>(inKernel), &memory, sizeof(memory)), 0u);
    wchar_t expected[MAX_PATH] = {};
    GetModuleFileNameW(static_cast<HMODULE>(memory.AllocationBase), expected, MAX_PATH);
    EXPECT_STREQ(block->moduleName, expected);
    EXPECT_NE(block->moduleName[0], L'\0');
    EXPECT_EQ(block->moduleOffset, inKernel - reinterpret_cast<uintptr_t>(memory.AllocationBase));

    // An address of the executable itself names nothing.
    identity.address = reinterpret_cast<uintptr_t>(&SampleIdentity);
    const CrashInfoBlock* own = diag::CreateCrashInfoBlock(identity);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->moduleName[0], L'\0');
    EXPECT_EQ(own->moduleOffset, 0u);
}

}  // namespace
