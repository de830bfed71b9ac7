#pragma once

// Names and texts of the product that other programs, the registry or the user see.
namespace product {

inline constexpr wchar_t kVersion[] = L"1.14.301";
// The product code the crash reporter files a crash of the setup under.
inline constexpr wchar_t kCrashProductCode[] = L"PeloraSetup";
inline constexpr wchar_t kDefaultInstallSource[] = L"30004";

inline constexpr wchar_t kSingleInstanceMutex[] = L"D85199AA-8568-486B-AE9A-93F9B4743BA6";
inline constexpr wchar_t kMessageCaption[] = L"岚拓映彩直播安装向导";

inline constexpr wchar_t kPayloadResourceType[] = L"MSI";
inline constexpr int kPayloadResourceId = 2019;
inline constexpr int kHelperResourceId = 2031;

}  // namespace product
