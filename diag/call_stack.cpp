#include "diag/call_stack.h"

namespace diag {

bool FollowsCallInstruction(const uint8_t* before, size_t available) {
    auto at = [&](size_t back) { return back <= available ? before[available - back] : 0; };
    auto modRmIsCall = [](uint8_t modRm) { return ((modRm >> 3) & 7) == 2; };
    // call rel32: E8 followed by four bytes.
    if (available >= 5 && at(5) == 0xE8) return true;
    // call r/m: FF /2 with a register (2 bytes), a byte displacement (3), a dword displacement or
    // absolute address (6), or a SIB byte before them (3, 4, 7).
    if (available >= 2 && at(2) == 0xFF && modRmIsCall(at(1)) && (at(1) >> 6) == 3) return true;
    if (available >= 2 && at(2) == 0xFF && modRmIsCall(at(1)) && (at(1) >> 6) == 0 && (at(1) & 7) != 4 &&
        (at(1) & 7) != 5)
        return true;
    if (available >= 3 && at(3) == 0xFF && modRmIsCall(at(2)) && (at(2) >> 6) == 1) return true;
    if (available >= 3 && at(3) == 0xFF && modRmIsCall(at(2)) && (at(2) >> 6) == 0 && (at(2) & 7) == 4) return true;
    if (available >= 4 && at(4) == 0xFF && modRmIsCall(at(3)) && (at(3) >> 6) == 1 && (at(3) & 7) == 4) return true;
    if (available >= 6 && at(6) == 0xFF && modRmIsCall(at(5)) &&
        ((at(5) >> 6) == 2 || ((at(5) >> 6) == 0 && (at(5) & 7) == 5)))
        return true;
    if (available >= 7 && at(7) == 0xFF && modRmIsCall(at(6)) && (at(6) >> 6) == 2 && (at(6) & 7) == 4) return true;
    return false;
}

}  // namespace diag
