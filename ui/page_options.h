#pragma once

#include <cstdint>

// The options the setup window keeps, as REG_DWORD values of the product key under the current
// user. The first five belong to the installed client: the setup decides nothing by them, it
// loads what an earlier run or the client stored (or the defaults) and writes it back. The last
// one is the setup's own: the quick-launch box's choice in the last window that showed it, which
// starts the box of the next window and nothing else.
struct PageOptions {
    int32_t nShortcutDesktop = 1;
    int32_t nShortcutQuickLaunch = 1;
    int32_t nRunExe = 1;
    int32_t nShowNewFeature = 0;
    int32_t nStartRunExe = 1;
    int32_t nSetupQuickLaunch = 1;
};

// The stored options. The client's five come from the current user's key, else the machine's;
// the setup's own value only from the current user's (a machine's value is nobody's choice).
// Defaults for whatever is not stored as a REG_DWORD.
PageOptions LoadPageOptions();

// Marks the options file (FirstOpenLoginPanel=1 in the misc folder's EnvirConf.ini) and writes
// the six values under the current user. Nothing is written when the misc folder cannot be
// made; every failure leaves its install-log line. True when everything was written.
bool SavePageOptions(const PageOptions& options);
