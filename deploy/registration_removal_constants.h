#pragma once

// Names and install-log texts of the routines that take the setup's registrations back (the
// uninstaller's side of shell_registration, product_registry, shared_service and system_files).
// Each is spelled here once.
namespace deploy {

// Where HKEY_CLASSES_ROOT keeps its keys, below HKEY_CURRENT_USER (the user's own, seen first) and
// below HKEY_LOCAL_MACHINE.
inline constexpr wchar_t kClassesKey[] = L"Software\\Classes";

// REG_MULTI_SZ of the product key (per user): the system files the setup created, full paths.
inline constexpr wchar_t kValueSystemFiles[] = L"SystemFiles";

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

}  // namespace deploy
