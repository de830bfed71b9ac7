#pragma once

#include <cstdint>

// What the setup window's pages show and use: widget texts, names, colours and the agreement
// address. The message-box texts live in ui/setup_texts.h.
namespace ui {

// ---- Welcome page ----------------------------------------------------------------------------
inline constexpr wchar_t kDialogName[] = L"installdialog";
inline constexpr wchar_t kInstallButtonText[] = L"立即安装";
inline constexpr wchar_t kAgreementLinkText[] = L"同意用户许可协议";
inline constexpr wchar_t kLocationLinkText[] = L"自定义安装";
inline constexpr wchar_t kInstallButtonName[] = L"installBtn";
inline constexpr wchar_t kCloseButtonName[] = L"closeBtn";
inline constexpr wchar_t kMinimiseButtonName[] = L"minBtn";
inline constexpr wchar_t kCheckButtonName[] = L"checkBtn";
// Our user licence agreement, opened in the browser by the agreement link.
inline constexpr wchar_t kAgreementUrl[] = L"https://www.corvane.com/pelora/agreement.html";
inline constexpr wchar_t kOpenVerb[] = L"open";

// ---- Location page ---------------------------------------------------------------------------
inline constexpr wchar_t kLocationLabelText[] = L"安装位置：";
inline constexpr wchar_t kBrowseButtonText[] = L"浏览...";
inline constexpr wchar_t kReturnButtonText[] = L"返回";
inline constexpr wchar_t kQuickLaunchText[] = L"添加到快速启动栏";
inline constexpr wchar_t kBrowseButtonName[] = L"browseBtn";
inline constexpr wchar_t kReturnButtonName[] = L"returnBtn";
inline constexpr wchar_t kBrowseTitle[] = L"选择安装目录";
// A typed folder gets the product's folder below it; a product root ends in "App".
inline constexpr wchar_t kProductFolderName[] = L"Pelora";
inline constexpr wchar_t kProductRootLeaf[] = L"App";
inline constexpr wchar_t kPathBoxFont[] = L"微软雅黑";

// ---- Progress page ---------------------------------------------------------------------------
inline constexpr wchar_t kStatusDetecting[] = L"正在检测安装环境";
inline constexpr wchar_t kStatusExtracting[] = L"正在提取安装文件...";
inline constexpr wchar_t kStatusInstalling[] = L"正在安装...";
inline constexpr wchar_t kStatusRemovingOld[] = L"正在卸载已安装版本...";
inline constexpr wchar_t kStatusRegistering[] = L"正在注册组件...";
inline constexpr wchar_t kPercentFormat[] = L"%d%%";

// ---- Abort card ------------------------------------------------------------------------------
inline constexpr wchar_t kAbortFirstLine[] = L"还一会儿就可以跟主播见面了";
inline constexpr wchar_t kAbortSecondLine[] = L"现在放弃太可惜了~";
inline constexpr wchar_t kContinueButtonText[] = L"继续安装";
inline constexpr wchar_t kGiveUpText[] = L"放弃安装";
inline constexpr wchar_t kContinueButtonName[] = L"contineBtn";
inline constexpr wchar_t kGiveUpName[] = L"abortBtn";

// ---- Colours (ARGB) --------------------------------------------------------------------------
inline constexpr uint32_t kWhite = 0xFFFFFFFF;
inline constexpr uint32_t kDimmedWhite = 0x4DFFFFFF;     // a disabled install button's text
inline constexpr uint32_t kHalfWhite = 0x7FFFFFFF;       // labels and the idle agreement link
inline constexpr uint32_t kViolet = 0xFFA866FF;          // the return button's text
inline constexpr uint32_t kDarkBand = 0x9915141B;        // the location page's panel
inline constexpr uint32_t kCardWhite = 0xF4FFFFFF;       // the abort card
inline constexpr uint32_t kCardText = 0xE5333333;        // the abort card's two lines

}  // namespace ui
