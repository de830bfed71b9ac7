#pragma once

#include <cstdint>
#include <string>

#include "diag/crash_monitor.h"

// What the crash monitor tells the reporter about the setup program.
namespace app {

struct CrashVersion {
    uint16_t major = 0;
    uint16_t minor = 0;
    uint32_t build = 0;
};

// "a.b.c[.d]": major a, minor b (a × 100 + b split again by 100, so b above 99 carries into the
// major), build c only for a four-component version; zeros for text that is not a version.
CrashVersion CrashVersionFromText(const std::wstring& version);

// The identity of this setup: its product code, display name and version, the running
// executable `runningExe` as the product's program, language 1033.
diag::CrashIdentity MakeSetupCrashIdentity(const std::wstring& runningExe);

}  // namespace app
