#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "diag/crash_info_block.h"

namespace reporter {

// The crash information block of another process and the five strings behind it.
struct CrashSnapshot {
    diag::CrashInfoBlock header = {};
    std::wstring strings[diag::kCrashStringCount];
    // What was thrown, when the crash monitor's own exception code carries the text (the type of
    // a C++ exception that nobody caught); empty otherwise or when it cannot be read.
    std::wstring thrown;
};

// The outcome of reading a block; anything but kRead means the block is not to be believed.
enum class BlockReadResult {
    kRead,
    kUnreadable,      // ReadProcessMemory failed on the header or the strings
    kBadSize,         // the size field is smaller than the header or implausibly large
    kBadString,       // a string offset lies outside the block or a string lacks its terminator
};

// Reads the block at `address` in `process` (a handle with PROCESS_VM_READ). The block was laid
// out by a process of this build's architecture; every offset and size it holds is checked
// against the block's own size before it is used. The text behind the exception record is read
// too, up to its documented length; an unreadable text only stays empty.
BlockReadResult ReadCrashBlock(HANDLE process, uintptr_t address, CrashSnapshot& snapshot);

const wchar_t* DescribeBlockReadResult(BlockReadResult result);

}  // namespace reporter
