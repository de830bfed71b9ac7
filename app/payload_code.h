#pragma once

// The programs and libraries of the payload that the setup itself loads or starts, by their
// entries in the archive. The extraction keeps the digest of each (extract/payload_digests.h), and
// the setup runs a copy only when it still has that digest (deploy/verified_code.h).
namespace app {

inline constexpr wchar_t kWebComponentEntry[] = L"program files\\Corvane\\Pelora\\Bin\\WebAPI.dll";
inline constexpr wchar_t kServiceDllEntry[] = L"program files\\Corvane\\Pelora\\Bin\\VTService.dll";
inline constexpr wchar_t kPinProgramEntry[] = L"program files\\Corvane\\Pelora\\Bin\\explorer.exe";
inline constexpr wchar_t kSingleSignOnInstallerEntry[] =
    L"program files\\Corvane\\Pelora\\Misc\\CVSSO\\InstCVSSO.exe";
// The crash reporter and the libraries it loads from its own folder.
inline constexpr wchar_t kCrashReporterBinEntry[] = L"program files\\Corvane\\Pelora\\Bin\\";

}  // namespace app
