#pragma once

// The two heap-walk files written at a crash, beside the reporter's report: every free block and
// region of the runtime's heap ("...Heapwalk_full.txt") and those of at least 0x30 bytes
// ("...Heapwalk_above30.txt"). UTF-16 text without a byte-order mark. They are written while the
// process is frozen after a crash, so nothing here allocates from the heap it walks.
#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace diag {

enum class HeapWalkOutcome { Complete, Incomplete, Corrupt };

// The paths of both files in `folder` (ending with "\"), named after the running executable
// `runningExe` (its file name without extension) and the crash tick in hexadecimal (left out when
// 0). False when a path would not fit `capacity` characters.
bool HeapWalkFileNames(const wchar_t* folder, const wchar_t* runningExe, uint32_t tick, wchar_t* fullPath,
                       wchar_t* abovePath, size_t capacity);

// Walks `heap` for at most `limitMs` and writes both files (header, one line per free block or
// region, the end lines). Write failures are ignored: the files are a help, not the report.
HeapWalkOutcome WriteHeapWalkFiles(HANDLE heap, const wchar_t* fullPath, const wchar_t* abovePath,
                                   uint32_t limitMs);

// The heap of the C runtime, whose blocks the program's own allocations live in.
HANDLE RuntimeHeap();

}  // namespace diag
