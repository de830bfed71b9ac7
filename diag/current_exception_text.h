#pragma once

#include <string>

namespace diag {

// What the C++ exception being handled is, for a crash report: its type ("std::runtime_error")
// and, for a std::exception, ": " and its what() text. Empty when no exception is being handled.
// Called from a catch block or from a terminate handler, where the exception that nobody caught
// still counts as being handled.
std::wstring CurrentExceptionText();

}  // namespace diag
