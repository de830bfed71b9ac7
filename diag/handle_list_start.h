#pragma once

#include <windows.h>

namespace diag {

// Starts `program` with `commandLine` (CreateProcessW: written to, so not a literal) so that it
// inherits only `handles` (each created inheritable), through PROC_THREAD_ATTRIBUTE_HANDLE_LIST.
// Windows before Vista has no such list: there every inheritable handle goes with them. Nothing is
// allocated on the heap, so that the crash path can use it. False when the program did not start.
bool StartInheritingOnly(const wchar_t* program, wchar_t* commandLine, const STARTUPINFOW& startup,
                         HANDLE* handles, DWORD count, PROCESS_INFORMATION* started);

}  // namespace diag
