#pragma once

#include <cstdint>

// The version of the running Windows, for every layer that has rules which differ by it.

// (major << 8) | minor as RtlGetVersion reports it, which, unlike GetVersionExW, is not bent by
// compatibility modes or the program's manifest; read once per process and cached. 0x501 is XP,
// 0x600 Vista, 0x601 Windows 7. 0 when it cannot be read.
uint32_t OsVersionCode();

// The major version as GetVersionExW reports it (what the steps that compare against 5 or 6 ask);
// 0 when it cannot be read.
uint32_t OsMajorVersion();

// Windows Vista or later, by OsVersionCode.
bool IsVistaOrLater();

// Makes OsVersionCode answer `code` and OsMajorVersion its major part, for tests of the rules that
// differ by version; 0 returns to the real version. Set it before the code under test runs.
void OverrideOsVersionCode(uint32_t code);
