#pragma once

#include <cstdint>
#include <vector>

#include "diag/process_modules.h"

namespace diag {

// A copy of a suspended thread's stack from its stack pointer upwards.
struct StackCopy {
    uintptr_t start = 0;                 // the stack pointer the copy begins at
    std::vector<uintptr_t> words;        // the copied stack, one pointer-sized word each
};

struct StackFrame {
    uintptr_t address = 0;
    uintptr_t arguments[4] = {};
};

// The frames of a thread at most `maxFrames`: the instruction pointer, then the return addresses
// found by following the frame pointers, then those found by scanning the stack for values that
// point just behind a call instruction inside a loaded module. `readCode` reads code bytes and
// fails for unreadable memory.
template <typename ReadCode>
std::vector<StackFrame> WalkCallStack(uintptr_t instructionPointer, uintptr_t framePointer, const StackCopy& stack,
                                      const std::vector<LoadedModule>& modules, int maxFrames, ReadCode readCode);

// True when the bytes just before `returnAddress` encode a call (direct, or indirect through a
// register or memory).
bool FollowsCallInstruction(const uint8_t* before, size_t available);

template <typename ReadCode>
std::vector<StackFrame> WalkCallStack(uintptr_t instructionPointer, uintptr_t framePointer, const StackCopy& stack,
                                      const std::vector<LoadedModule>& modules, int maxFrames, ReadCode readCode) {
    constexpr uintptr_t kWord = sizeof(uintptr_t);
    const uintptr_t stackEnd = stack.start + stack.words.size() * kWord;
    auto wordAt = [&](uintptr_t address, uintptr_t& value) {
        if (address < stack.start || address + kWord > stackEnd || (address - stack.start) % kWord != 0) return false;
        value = stack.words[(address - stack.start) / kWord];
        return true;
    };
    auto argumentsAt = [&](uintptr_t address, StackFrame& frame) {
        for (int i = 0; i < 4; ++i) wordAt(address + i * kWord, frame.arguments[i]);
    };
    auto isReturnAddress = [&](uintptr_t value) {
        if (value < 8 || FindModuleOf(modules, value) == nullptr) return false;
        uint8_t before[8] = {};
        return readCode(value - sizeof(before), before, sizeof(before)) && FollowsCallInstruction(before, sizeof(before));
    };
    auto listed = [](const std::vector<StackFrame>& frames, uintptr_t address) {
        for (const StackFrame& frame : frames)
            if (frame.address == address) return true;
        return false;
    };

    std::vector<StackFrame> frames;
    StackFrame top;
    top.address = instructionPointer;
    argumentsAt(stack.start, top);
    frames.push_back(top);

    // Frame pointers: each frame holds the caller's frame pointer and the return address above it.
    uintptr_t frame = framePointer;
    while (static_cast<int>(frames.size()) < maxFrames) {
        uintptr_t next = 0;
        StackFrame caller;
        if (!wordAt(frame, next) || !wordAt(frame + kWord, caller.address) || caller.address == 0) break;
        argumentsAt(frame + 2 * kWord, caller);
        frames.push_back(caller);
        if (next <= frame) break;
        frame = next;
    }

    // The scan finds the callers of code built without frame pointers.
    for (size_t i = 0; i < stack.words.size() && static_cast<int>(frames.size()) < maxFrames; ++i) {
        const uintptr_t value = stack.words[i];
        if (listed(frames, value) || !isReturnAddress(value)) continue;
        StackFrame found;
        found.address = value;
        argumentsAt(stack.start + (i + 1) * kWord, found);
        frames.push_back(found);
    }
    return frames;
}

}  // namespace diag
