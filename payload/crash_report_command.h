#pragma once

#include <cstdint>
#include <string>

namespace reporter {

// What the crashed program hands its reporter on the command line
// "bugreport /buginfo:<event>:<process>:<block>:<process id> /extinfo:<extra>": two handles it
// made inheritable for this process, the address of its crash information block and its process
// id (all but the id in hexadecimal, as printf's %p writes them).
struct CrashReportCommand {
    uintptr_t event = 0;
    uintptr_t process = 0;
    uintptr_t block = 0;
    uint32_t processId = 0;
    uintptr_t extraInfo = 0;
};

// Reads the arguments of the command line (after the program name). False, with `command`
// possibly half filled, when "/buginfo:" is missing or any of its numbers is malformed or too large;
// "/extinfo:" is optional.
bool ParseCrashReportCommand(const std::wstring& commandLine, CrashReportCommand& command);

}  // namespace reporter
