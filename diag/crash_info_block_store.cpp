#include "diag/crash_info_block_store.h"

#include <atomic>

namespace diag {
namespace {

std::atomic<CrashInfoBlock*> g_block{nullptr};

}  // namespace

CrashInfoBlock* ProcessCrashInfoBlock() { return g_block.load(); }

void SetProcessCrashInfoBlock(CrashInfoBlock* block) { g_block.store(block); }

const wchar_t* CrashBlockString(const CrashInfoBlock& block, int index) {
    const uint32_t offset = block.stringOffsets[index];
    if (offset < sizeof(CrashInfoBlock) || offset >= block.totalSize) return L"";
    return reinterpret_cast<const wchar_t*>(reinterpret_cast<const uint8_t*>(&block) + offset);
}

}  // namespace diag
