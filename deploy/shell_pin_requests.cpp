#include "deploy/shell_pin_requests.h"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "diag/scoped_com.h"
#include "deploy/shortcut_constants.h"
#include "diag/windows_version.h"

namespace {

// CLSID_StartMenuPin, the shell's object behind IStartMenuPinnedList.
constexpr CLSID kStartMenuPinClass = {0xA2A9545D, 0xA0C2, 0x42B4, {0x97, 0x08, 0xA0, 0xB2, 0xBA, 0xDD, 0x77, 0xC8}};
// IID_IStartMenuPinnedList, spelled out so that no GUID library has to be linked.
constexpr IID kStartMenuPinnedListId = {0x4CD19ADA, 0x25A5, 0x4A32, {0xB3, 0xB7, 0x34, 0x7B, 0xEE, 0x5B, 0xE3, 0x6B}};

class SystemRequests final : public ShellPinRequests {
public:
    void ExecuteHidden(const wchar_t* verb, const std::wstring& file, const std::wstring& parameters) override {
        SHELLEXECUTEINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = SEE_MASK_FLAG_NO_UI;
        info.lpVerb = verb;
        info.lpFile = file.c_str();
        info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
        info.nShow = SW_HIDE;
        ShellExecuteExW(&info);
    }
    bool UnpinFromStartMenu(const std::wstring& path) override { return ::UnpinFromStartMenu(path, OsVersionCode()); }
    void NotifyDeleted(const std::wstring& path) override {
        SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW, path.c_str(), nullptr);
    }
};

}  // namespace

ShellPinRequests& SystemShellPinRequests() {
    static SystemRequests requests;
    return requests;
}

bool UnpinFromStartMenu(const std::wstring& path, uint32_t osVersionCode) {
    if (osVersionCode < deploy::kOsVersionVista) return true;
    diag::ScopedComApartment apartment(COINIT_APARTMENTTHREADED);
    if (!apartment.IsUsable()) return false;
    diag::ScopedComPointer<IShellItem> item;
    if (FAILED(SHCreateItemFromParsingName(path.c_str(), nullptr, IID_IShellItem, reinterpret_cast<void**>(item.Receive())))) return false;
    diag::ScopedComPointer<IStartMenuPinnedList> pinnedList;
    if (FAILED(CoCreateInstance(kStartMenuPinClass, nullptr, CLSCTX_INPROC_SERVER, kStartMenuPinnedListId,
                                reinterpret_cast<void**>(pinnedList.Receive())))) {
        return false;
    }
    pinnedList.Get()->RemoveFromList(item.Get());
    return true;
}
