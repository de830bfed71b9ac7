#include "diag/crash_info_block_store.h"

#include <atomic>

namespace diag {
namespace {

std::atomic<CrashInfoBlock*> g_block{nullptr};

}  // namespace

CrashInfoBlock* ProcessCrashInfoBlock() { return g_block.load(); }

void SetProcessCrashInfoBlock(CrashInfoBlock* block) { g_block.store(block); }

const wchar_t* CrashBlockString(const CrashInfoBlock& block, int index) {
    if (index < 0 || index >= kCrashStringCount) return L"";
    const uint32_t offset = block.stringOffsets[index];
    if (offset < sizeof(CrashInfoBlock) || offset >= block.totalSize || offset % sizeof(wchar_t) != 0) return L"";
    const auto* text = reinterpret_cast<const wchar_t*>(reinterpret_cast<const uint8_t*>(&block) + offset);
    // The string must end inside the block: the crash path copies it without a length.
    const size_t room = (block.totalSize - offset) / sizeof(wchar_t);
    for (size_t i = 0; i < room; ++i)
        if (text[i] == L'\0') return text;
    return L"";
}

}  // namespace diag
