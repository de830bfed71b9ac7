#pragma once

#include <cstdint>

// The choices the setup window keeps for the installed client, as REG_DWORD values of the
// product key under the current user. The setup decides nothing by them: it loads what an earlier
// run or the client stored (or the defaults) and writes it back.
struct PageOptions {
    int32_t nShortcutDesktop = 1;
    int32_t nShortcutQuickLaunch = 1;
    int32_t nRunExe = 1;
    int32_t nShowNewFeature = 0;
    int32_t nStartRunExe = 1;
};

// The stored options: the current user's key, else the machine's; defaults for whatever neither
// holds as a REG_DWORD.
PageOptions LoadPageOptions();

// Marks the options file (FirstOpenLoginPanel=1 in the misc folder's EnvirConf.ini) and writes
// the five values under the current user. Nothing is written when the misc folder cannot be
// made; every failure leaves its install-log line. True when everything was written.
bool SavePageOptions(const PageOptions& options);
