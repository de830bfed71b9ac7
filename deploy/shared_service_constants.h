#pragma once

// Names, registry paths and log texts of the shared-host service "PeloraService". Each is
// spelled here once.
namespace deploy {

inline constexpr wchar_t kServiceName[] = L"PeloraService";
inline constexpr wchar_t kServiceDisplayName[] = L"PeloraService";
inline constexpr wchar_t kServiceGroupName[] = L"PeloraService";
inline constexpr wchar_t kServiceDescription[] =
    L"提供Pelora按键通知服务。禁止后，某些情况下会出现按键无法说话的问题。";
inline constexpr wchar_t kServiceHostFileName[] = L"svchost.exe";
inline constexpr wchar_t kServiceImagePathFormat[] = L"\"%s\" -k %s";

inline constexpr wchar_t kSvchostKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Svchost";
inline constexpr wchar_t kServiceKeyFormat[] = L"SYSTEM\\CurrentControlSet\\services\\%s";
inline constexpr wchar_t kServiceParametersKey[] = L"Parameters";
inline constexpr wchar_t kValueServiceDll[] = L"ServiceDll";

// Everybody may query, start, stop and control the service; only the system and administrators
// may reconfigure it, change its access list or delete it.
inline constexpr wchar_t kServiceAccessList[] =
    L"D:(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)"
    L"(A;;CCLCSWRPWPDTLOCRRC;;;WD)";

// ---- Install log -------------------------------------------------------------------------------
inline constexpr wchar_t kLogServiceDllMissing[] = L"[setup]service dll %s is missing\n";
inline constexpr wchar_t kLogServiceHostMissing[] = L"[setup]service host %s is missing\n";
inline constexpr wchar_t kLogServiceSystemFolder[] = L"[setup]no system folder for the service host: 0x%08lX\n";
inline constexpr wchar_t kLogServiceCallFailed[] = L"[setup]%s for %s failed, error %lu\n";
inline constexpr wchar_t kLogServiceStillPresent[] = L"[setup]service %s is still present after its deletion\n";
inline constexpr wchar_t kLogServiceRegistered[] = L"[setup]service %s registered for %s\n";

}  // namespace deploy
