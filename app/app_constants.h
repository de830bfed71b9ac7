#pragma once

// Install-log lines of the setup application core.
namespace app {

inline constexpr wchar_t kLogNoVersionFolder[] =
    L"[setup]version folder \"%s\" is not an absolute folder, installation not started\n";
inline constexpr wchar_t kLogInstallFolderRefused[] = L"[setup]install folder \"%s\" refused, verdict %d\n";
inline constexpr wchar_t kLogInstallFolderReplaced[] = L"[setup]install folder replaced by \"%s\"\n";
inline constexpr wchar_t kLogInstallFailedAt[] =
    L"[setup]install failed at \"%s\", taking back what this run wrote\n";
inline constexpr wchar_t kLogNoReadyEvent[] = L"[setup]worker thread not started: no ready event, error %lu\n";
inline constexpr wchar_t kLogNoWorkerThread[] = L"[setup]worker thread could not be created, error %lu\n";
inline constexpr wchar_t kLogWorkerNotGiven[] = L"[setup]the worker thread could not be given the %s, error %lu\n";
inline constexpr wchar_t kLogExtractionStopped[] = L"[setup]extraction stopped, the run is ending\n";
inline constexpr wchar_t kLogWorkerStillRunning[] =
    L"[setup]the worker thread did not end within %lu ms; it is cut off and ends with the process\n";

}  // namespace app
