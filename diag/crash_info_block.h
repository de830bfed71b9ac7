#pragma once

// The crash information block: one per process, made when the crash monitor is installed and
// filled when the process crashes. The crash reporter reads it out of the crashed process with
// ReadProcessMemory, so its layout is an interface between two programs. The reporter is built for
// the same architecture as the program it watches: in the shipped 32-bit program every field has
// the offset given beside it; in a 64-bit build the pointer-sized fields, the exception record and
// the thread context grow.
#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace diag {

inline constexpr int kCrashStringCount = 5;
inline constexpr uint32_t kCrashWorkBufferSize = 3276;
inline constexpr uint32_t kCrashFlagNoTick = 4;
inline constexpr int kCrashModuleNameLength = 260;

// The block as laid out by a process whose pointers are `Pointer`, whose exception record is
// `Record` and whose thread context is `Context`.
template <typename Pointer, typename Record, typename Context>
struct CrashInfoBlockLayout {
    uint32_t totalSize;              // 0: the header and the five strings behind it
    uint32_t flags;                  // 4
    Pointer savedStackBase;          // 8: stack overflow only
    Pointer savedStackLimit;         // 12
    uint32_t processId;              // 16
    uint32_t creatorThreadId;        // 20
    uint32_t crashThreadId;          // 24: the crashing (or hung) thread
    uint32_t userNumber;             // 28
    Pointer crashThreadTeb;          // 32
    uint32_t creationValue;          // 36
    Pointer processPeb;              // 40
    uint32_t languageId;             // 44
    Record exceptionRecord;          // 48, 80 bytes
    Context context;                 // 128, 716 bytes
    Pointer exceptionPointers;       // 844
    wchar_t moduleName[kCrashModuleNameLength];  // 848
    uint32_t moduleOffset;           // 1368
    uint8_t reserved[120];
    uint32_t stringOffsets[kCrashStringCount];  // 1492: product code, display name, product
                                                // executable, extra text, running executable
    uint16_t versionMajor;           // 1512
    uint16_t versionMinor;           // 1514
    uint32_t versionBuild;           // 1516
    uint8_t flagA;                   // 1520
    uint8_t flagB;                   // 1521
    uint8_t padding[2];
    uint32_t clearedAtCrash;         // 1524
    uint32_t unused;                 // 1528
    uint32_t crashTick;              // 1532
    Pointer workBuffer;              // 1536
    uint32_t workBufferSize;         // 1540
};

// The layout of a 32-bit process, whichever build looks at it (the offsets above).
#if defined(_WIN64)
using CrashInfoBlock32 = CrashInfoBlockLayout<uint32_t, EXCEPTION_RECORD32, WOW64_CONTEXT>;
#else
using CrashInfoBlock32 = CrashInfoBlockLayout<uint32_t, EXCEPTION_RECORD, CONTEXT>;
#endif
// The layout of this build's own processes.
using CrashInfoBlock = CrashInfoBlockLayout<uintptr_t, EXCEPTION_RECORD, CONTEXT>;

static_assert(sizeof(CrashInfoBlock32) == 1544, "layout shared with the reporter");

}  // namespace diag
