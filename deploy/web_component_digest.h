#pragma once

#include <string>

// The digest of the web component "WebAPI.dll" that the install placed in the product root, kept
// in "WebComponentHash" of the machine-wide product key, which only administrators can change.
// A later setup and the uninstaller unregister the component (regsvr32 loads it, elevated) only
// while the file still has this digest.

namespace deploy {
inline constexpr wchar_t kValueWebComponentHash[] = L"WebComponentHash";
inline constexpr wchar_t kLogWebComponentHashFailed[] =
    L"[setup]could not record the web component's digest in HKLM\\%s (%ld)\n";
}  // namespace deploy

// The recorded digest; empty when the key or the value is missing.
std::wstring RecordedWebComponentDigest();

// Records `sha256`, creating the machine-wide product key when it is missing. False (logged)
// when the key cannot be written, as for a setup that runs without administrator rights.
bool RecordWebComponentDigest(const std::wstring& sha256);
