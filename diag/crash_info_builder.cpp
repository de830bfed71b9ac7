// The process's crash information block: built once, read by the reporter out of this process.
#include "diag/crash_info_builder.h"

#include <cstdlib>
#include <cstring>

#include "diag/thread_environment.h"

namespace diag {
namespace {

constexpr uintptr_t kNoAddress = ~uintptr_t{0};

// The module holding `address`, when it is not the executable: its file name and the offset.
void NameForeignModule(CrashInfoBlock* block, uintptr_t address) {
    if (address == kNoAddress) {
        block->moduleOffset = 1;
        return;
    }
    if (address == 0) return;
    MEMORY_BASIC_INFORMATION memory = {};
    if (!VirtualQuery(reinterpret_cast<const void*>(address), &memory, sizeof(memory))) return;
    const auto base = static_cast<HMODULE>(memory.AllocationBase);
    if (base == nullptr || base == GetModuleHandleW(nullptr)) return;
    GetModuleFileNameW(base, block->moduleName, kCrashModuleNameLength);
    block->moduleOffset = static_cast<uint32_t>(address - reinterpret_cast<uintptr_t>(base));
}

}  // namespace

CrashInfoBlock* CreateCrashInfoBlock(const CrashIdentity& identity) {
    wchar_t running[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, running, MAX_PATH);
    const std::wstring* strings[kCrashStringCount] = {&identity.productCode, &identity.displayName,
                                                     &identity.productExecutable, &identity.extraText, nullptr};
    const std::wstring runningPath = running;
    strings[4] = &runningPath;

    size_t stringBytes = 0;
    for (const std::wstring* text : strings) stringBytes += (text->size() + 1) * sizeof(wchar_t);
    const size_t total = sizeof(CrashInfoBlock) + stringBytes;
    auto* block = static_cast<CrashInfoBlock*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, total));
    if (block == nullptr) return nullptr;
    void* workBuffer = calloc(1, kCrashWorkBufferSize);

    block->totalSize = static_cast<uint32_t>(total);
    block->processId = GetCurrentProcessId();
    block->creatorThreadId = GetCurrentThreadId();
    block->processPeb = reinterpret_cast<uintptr_t>(CurrentProcessEnvironment());
    block->languageId = identity.languageId;
    block->creationValue = identity.creationValue;
    block->versionMajor = identity.versionMajor;
    block->versionMinor = identity.versionMinor;
    block->versionBuild = identity.versionBuild;
    block->flagA = identity.flagA ? 1 : 0;
    block->flagB = identity.flagB ? 1 : 0;
    block->workBuffer = reinterpret_cast<uintptr_t>(workBuffer);
    block->workBufferSize = workBuffer ? kCrashWorkBufferSize : 0;
    NameForeignModule(block, identity.address);

    auto* bytes = reinterpret_cast<unsigned char*>(block);
    size_t offset = sizeof(CrashInfoBlock);
    for (int i = 0; i < kCrashStringCount; ++i) {
        const size_t size = (strings[i]->size() + 1) * sizeof(wchar_t);
        memcpy(bytes + offset, strings[i]->c_str(), size);
        block->stringOffsets[i] = static_cast<uint32_t>(offset);
        offset += size;
    }
    return block;
}

}  // namespace diag
