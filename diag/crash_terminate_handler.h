#pragma once

namespace diag {

// A C++ exception that nobody catches and a call of abort() raise no structured exception on the
// 32-bit build (its runtime unwinds by tables): the runtime would end the process with 3, without
// the crash handler. These handlers hand both to HandleCrash instead, with the crash monitor's own
// codes (kUncaughtCppExceptionCode, with the exception's type and text where known, and
// kAbortCode), so that they end in the reporter's report and 4660 like any other crash.

// Makes them std::terminate's handler and the SIGABRT handler of the process, and keeps the
// runtime from showing its own abort message first where it lets itself be told.
void ArmTerminateHandlers();

// std::terminate's handler; never returns.
[[noreturn]] void CrashTerminateHandler();
// The SIGABRT handler; never returns.
void CrashAbortHandler(int signal);

}  // namespace diag
