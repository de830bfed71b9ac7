#pragma once

#include <cstdint>

namespace diag {

// The name of a Windows exception code as the crash and hang reports print it
// ("EXCEPTION_ACCESS_VIOLATION"); nullptr for a code without a name, which the reports then print
// as a number.
const wchar_t* ExceptionName(uint32_t code);

}  // namespace diag
