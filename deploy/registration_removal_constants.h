#pragma once

// Names and install-log texts of the routines that take the setup's registrations back (the
// uninstaller's side of shell_registration, product_registry, shared_service and system_files, and
// the file hashes that system_files records).
// Each is spelled here once.
namespace deploy {

// Where HKEY_CLASSES_ROOT keeps its keys, below HKEY_CURRENT_USER (the user's own, seen first) and
// below HKEY_LOCAL_MACHINE.
inline constexpr wchar_t kClassesKey[] = L"Software\\Classes";

// REG_MULTI_SZ of the product key (per user): the system files the setup created, full paths.
inline constexpr wchar_t kValueSystemFiles[] = L"SystemFiles";
// REG_MULTI_SZ of the machine-wide product key, which only administrators can change: for each
// system file the setup created, "{full path}|{SHA-256 of the bytes it wrote, 64 hex digits}".
inline constexpr wchar_t kValueSystemFileHashes[] = L"SystemFileHashes";
inline constexpr wchar_t kSystemFileHashSeparator = L'|';

// ---- Install log -------------------------------------------------------------------------------
inline constexpr wchar_t kLogUndoNoPath[] = L"[uninst]%s: no path given, nothing removed\n";
// Hive, key, value name (empty for the whole key), then what the entry names and this install's.
inline constexpr wchar_t kLogUndoKept[] =
    L"[uninst]kept %s\\%s %s: it names \"%s\", not this install's %s\n";
inline constexpr wchar_t kLogUndoFailed[] = L"[uninst]could not remove %s\\%s %s (%ld)\n";
inline constexpr wchar_t kLogUndoRemoved[] = L"[uninst]removed %s\\%s %s\n";
inline constexpr wchar_t kLogUndoServiceRemoved[] = L"[uninst]removed service %s\n";
inline constexpr wchar_t kLogUndoKeptService[] =
    L"[uninst]kept service %s: its dll is %s, not this install's %s\n";
inline constexpr wchar_t kLogUndoKeptGroup[] =
    L"[uninst]kept svchost group %s: it lists %s\n";
inline constexpr wchar_t kLogSystemFilesIgnored[] =
    L"[uninst]recorded system file %s is none of the setup's places, ignored\n";
inline constexpr wchar_t kLogSystemFileChanged[] =
    L"[uninst]kept %s: it differs from %s, or that copy cannot be read\n";
inline constexpr wchar_t kLogSystemFileRemoved[] = L"[uninst]removed %s\n";
inline constexpr wchar_t kLogSystemFileFailed[] = L"[uninst]could not remove %s (%lu)\n";
inline constexpr wchar_t kLogSystemFileMovedAside[] = L"[uninst]%s is in use: moved aside\n";
inline constexpr wchar_t kLogSystemFilesRecordFailed[] = L"[setup]could not record system files in %s (%ld)\n";
inline constexpr wchar_t kLogSystemFileHashesRecordFailed[] =
    L"[setup]could not record the hashes of the system files in HKLM\\%s (%ld)\n";
inline constexpr wchar_t kLogSystemFileNoHash[] =
    L"[uninst]kept %s: no hash of the bytes the setup wrote is recorded\n";
inline constexpr wchar_t kLogSystemFileHashDiffers[] =
    L"[uninst]kept %s: its bytes are not the ones the setup wrote (SHA-256 %s, recorded %s)\n";
inline constexpr wchar_t kLogSystemFileLinkKept[] = L"[uninst]kept %s: it is a link\n";
inline constexpr wchar_t kLogSystemFileUnreadable[] = L"[uninst]could not open %s to check it (%lu)\n";
// File, the CryptoAPI or file call that failed, its error (file_hash.h).
inline constexpr wchar_t kLogHashFailed[] = L"[hash]SHA-256 of %s: %s failed (%lu)\n";

}  // namespace deploy
