#pragma once

// The install-log lines of the file layer. Each is spelled here once.
namespace deploy {

inline constexpr wchar_t kLogDeleteEntryFailed[] = L"[setup]删除失败 %s (%lu)\n";
inline constexpr wchar_t kLogLinkOnPath[] = L"[setup]路径上有链接，拒绝：%s (链接 %s)\n";
inline constexpr wchar_t kLogPathNotHeld[] = L"[setup]无法锁定路径，拒绝：%s (%s: %s, %lu)\n";
inline constexpr wchar_t kLogEntrySwapped[] = L"[setup]检查后被替换，拒绝删除：%s\n";

}  // namespace deploy
