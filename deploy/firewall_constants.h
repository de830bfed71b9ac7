#pragma once

// Log texts of the client's firewall entry. Each is spelled here once.
namespace deploy {

inline constexpr wchar_t kLogFirewallCallFailed[] = L"[setup]firewall: %s for %s failed: 0x%08lX\n";
inline constexpr wchar_t kLogFirewallComFailed[] = L"[setup]firewall: COM is not usable on this thread\n";
inline constexpr wchar_t kLogFirewallAdded[] = L"[setup]firewall: %s authorised as %s\n";
inline constexpr wchar_t kLogFirewallAlreadyAuthorised[] = L"[setup]firewall: %s is already authorised\n";
inline constexpr wchar_t kLogFirewallRemoved[] = L"[setup]firewall: %s removed\n";
inline constexpr wchar_t kLogFirewallRemovalSkipped[] = L"[setup]firewall: %s is missing, its entry stays\n";

}  // namespace deploy
