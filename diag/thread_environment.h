#pragma once

#include <cstdint>

// The thread and process environment blocks of the calling thread, read straight from the
// segment register (the compiler's NtCurrentTeb trips its own array-bounds check).
namespace diag {

inline void* CurrentThreadEnvironment() {
    void* block;
#if defined(__x86_64__)
    __asm__("movq %%gs:0x30, %0" : "=r"(block));
#else
    __asm__("movl %%fs:0x18, %0" : "=r"(block));
#endif
    return block;
}

inline void* CurrentProcessEnvironment() {
    void* block;
#if defined(__x86_64__)
    __asm__("movq %%gs:0x60, %0" : "=r"(block));
#else
    __asm__("movl %%fs:0x30, %0" : "=r"(block));
#endif
    return block;
}

}  // namespace diag
