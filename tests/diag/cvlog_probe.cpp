// A program that logs through the process-wide binary-log writer as the setup program does: a
// static object logs from its constructor (creating the writer) and from its destructor, and main
// logs a few records. The process tests run it and read the ".tlg" it leaves behind.
#include "diag/cvlog.h"

#ifdef CVLOG_PROBE_EXPORTS_NOCVLOG
// Programs that must never write the binary log say so with this export.
extern "C" {
__declspec(dllexport) int NoCVLog = 1;
}
#endif

namespace {

// Creates the writer without logging, and logs only when it is destroyed, last of all.
struct EnsuringLogger {
    EnsuringLogger() { CVLog_EnsureWriter(); }
    ~EnsuringLogger() { CVLOG(L"EnsuringLogger::~EnsuringLogger", 2, L"Probe", L"ensured destroyed"); }
};

struct StaticLogger {
    StaticLogger() { CVLOG(L"StaticLogger::StaticLogger", 2, L"Probe", L"constructed"); }
    ~StaticLogger() { CVLOG(L"StaticLogger::~StaticLogger", 2, L"Probe", L"destroyed"); }
};

EnsuringLogger g_ensuringLogger;
StaticLogger g_staticLogger;

}  // namespace

int main() {
    for (int i = 0; i < 3; ++i) CVLOG(L"main", 2, L"Probe", L"record %d", i);
    CVLOG(L"main", 0, L"Probe", L"level zero");
    return 0;
}
