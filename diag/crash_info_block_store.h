#pragma once

#include "diag/crash_info_block.h"

namespace diag {

// The process's crash information block, once the crash monitor has made it; nullptr before.
// The block is never freed, so the pointer stays valid for the life of the process.
CrashInfoBlock* ProcessCrashInfoBlock();
void SetProcessCrashInfoBlock(CrashInfoBlock* block);

// The string `index` (0 to 4) stored behind the block's header; "" when the index, the string's
// offset or its terminator lies outside the block, so that a damaged block cannot lead a reader
// beyond it. The only reader of the block's strings in this process.
const wchar_t* CrashBlockString(const CrashInfoBlock& block, int index);

}  // namespace diag
