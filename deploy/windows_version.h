#pragma once

// (major << 8) | minor of the running Windows, read once with RtlGetVersion (which, unlike
// GetVersionEx, is not bent by the compatibility manifest): 0x501 XP, 0x600 Vista, 0x601 Windows 7.
unsigned int WindowsVersionCode();
// Windows Vista or later.
bool IsVistaOrLater();
// Makes WindowsVersionCode answer `code` (0 returns to the real version); for tests of the rules
// that differ below Vista.
void OverrideWindowsVersionCode(unsigned int code);
