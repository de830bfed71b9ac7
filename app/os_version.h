#pragma once

#include <cstdint>

// (major << 8) | minor of the running Windows as RtlGetVersion reports it (not shimmed by
// compatibility modes), read once per process and cached. 0x600 is Vista, 0x601 Windows 7.
uint32_t OsVersionCode();

// The major version as GetVersionExW reports it (what some steps compare against 5).
uint32_t OsMajorVersion();
