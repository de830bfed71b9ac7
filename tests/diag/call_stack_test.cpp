// The call-stack walk of the hang report: frame pointers first, then return addresses found on
// the stack behind call instructions, on a stack and code made up by the test.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "diag/call_stack.h"

namespace {

TEST(FollowsCallInstruction, RecognisesTheCallFormsAndNothingElse) {
    auto follows = [](std::vector<uint8_t> tail) {
        std::vector<uint8_t> before(8 - tail.size(), 0x90);
        before.insert(before.end(), tail.begin(), tail.end());
        return diag::FollowsCallInstruction(before.data(), before.size());
    };
    EXPECT_TRUE(follows({0xE8, 0x10, 0x20, 0x30, 0x40}));        // call rel32
    EXPECT_TRUE(follows({0xFF, 0xD0}));                          // call eax
    EXPECT_TRUE(follows({0xFF, 0x10}));                          // call [eax]
    EXPECT_TRUE(follows({0xFF, 0x55, 0x08}));                    // call [ebp+8]
    EXPECT_TRUE(follows({0xFF, 0x15, 0x00, 0x10, 0x40, 0x00}));  // call [abs32]
    EXPECT_TRUE(follows({0xFF, 0x94, 0x24, 0x00, 0x01, 0x00, 0x00}));  // call [esp+disp32]
    EXPECT_FALSE(follows({0x90, 0x90}));
    EXPECT_FALSE(follows({0xFF, 0xE0}));                         // jmp eax, not a call
    EXPECT_FALSE(follows({0xFF, 0x25, 0x00, 0x10, 0x40, 0x00}));  // jmp [abs32]
    EXPECT_FALSE(follows({0xE9, 0x10, 0x20, 0x30, 0x40}));       // jmp rel32
}

// Code at 0x1000-0x2000 where every return address follows "call rel32".
struct MadeUpCode {
    bool operator()(uintptr_t address, void* buffer, size_t size) const {
        if (address < 0x1000 || address + size > 0x2000) return false;
        std::memset(buffer, 0x90, size);
        static_cast<uint8_t*>(buffer)[size - 5] = 0xE8;
        return true;
    }
};

TEST(WalkCallStack, FollowsFramePointersThenFindsCallersOnTheStack) {
    const std::vector<diag::LoadedModule> modules = {{0x1000, 0x1000, L"C:\\code.exe"}};
    diag::StackCopy stack;
    stack.start = 0x8000;
    constexpr uintptr_t w = sizeof(uintptr_t);
    // [0] argument, [2] frame -> [5], [3] return 0x1100, [4..] arguments, [5] frame -> 0 ends, [6] 0x1200,
    // [8] a return address outside any frame chain, [9] a value in the module not behind a call.
    stack.words = {7, 0, 0x8000 + 5 * w, 0x1100, 11, 0x7000, 0x1200, 0, 0x1300, 0x3000, 0};
    const auto frames = diag::WalkCallStack(0x1050, 0x8000 + 2 * w, stack, modules, 50, MadeUpCode());
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].address, 0x1050u);
    EXPECT_EQ(frames[0].arguments[0], 7u);
    EXPECT_EQ(frames[1].address, 0x1100u);
    EXPECT_EQ(frames[1].arguments[0], 11u);
    EXPECT_EQ(frames[2].address, 0x1200u);
    EXPECT_EQ(frames[3].address, 0x1300u);  // found by the scan; 0x3000 lies in no module
}

TEST(WalkCallStack, StopsAtTheFrameLimitAndAtAFramePointerOutsideTheStack) {
    const std::vector<diag::LoadedModule> modules = {{0x1000, 0x1000, L"C:\\code.exe"}};
    diag::StackCopy stack;
    stack.start = 0x8000;
    stack.words.assign(200, 0x1400);  // return addresses everywhere
    EXPECT_EQ(diag::WalkCallStack(0x1050, 0x9999999, stack, modules, 50, MadeUpCode()).size(), 2u);
    stack.words.assign(200, 0);
    for (size_t i = 0; i < stack.words.size(); ++i) stack.words[i] = 0x1000 + 0x10 * (i + 1);
    EXPECT_EQ(diag::WalkCallStack(0x1050, 0, stack, modules, 50, MadeUpCode()).size(), 50u);
}

}  // namespace
