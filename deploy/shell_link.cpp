#include "deploy/shell_link.h"

#include <windows.h>

#include <objidl.h>
#include <propidl.h>
#include <propsys.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "diag/scoped_com.h"
#include "deploy/shortcut_constants.h"
#include "diag/install_log.h"

namespace {

// PKEY_AppUserModel_ID, spelled out so that no property-key library has to be linked.
constexpr PROPERTYKEY kAppUserModelIdKey = {
    {0x9F4C2855, 0x9F79, 0x4B39, {0xA8, 0xD0, 0xE1, 0xD4, 0x2D, 0xE1, 0xD5, 0xF3}}, 5};

// The folder that holds `target`: "C:\a\b.exe" gives "C:\a", "C:\b.exe" gives "C:\".
std::wstring FolderOf(const std::wstring& target) {
    const size_t slash = target.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return std::wstring();
    std::wstring folder = target.substr(0, slash);
    if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
    return folder;
}

// A PROPVARIANT that clears itself.
class ScopedPropVariant {
public:
    ScopedPropVariant() { PropVariantInit(&m_value); }
    ~ScopedPropVariant() { PropVariantClear(&m_value); }
    ScopedPropVariant(const ScopedPropVariant&) = delete;
    ScopedPropVariant& operator=(const ScopedPropVariant&) = delete;
    PROPVARIANT& Get() { return m_value; }

private:
    PROPVARIANT m_value;
};

// Stores the identifier in the link's property store. The shell of older Windows versions has
// no property store on links; the shortcut works without it there.
void SetAppUserModelId(IShellLinkW* link) {
    diag::ScopedComPointer<IPropertyStore> store;
    if (SUCCEEDED(link->QueryInterface(IID_IPropertyStore, reinterpret_cast<void**>(store.Receive())))) StoreAppUserModelId(store.Get());
}

bool WriteShortcut(const std::wstring& target, const std::wstring& linkPath, const std::wstring* arguments) {
    if (target.empty() || linkPath.empty()) return false;
    const DWORD start = GetTickCount();
    HRESULT result = E_FAIL;
    {
        diag::ScopedComApartment apartment(COINIT_APARTMENTTHREADED);
        diag::ScopedComPointer<IShellLinkW> link;
        result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(link.Receive()));
        diag::ScopedComPointer<IPersistFile> file;
        if (SUCCEEDED(result)) result = link.Get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Receive()));
        if (FAILED(result)) {
            InstallLog::Format(deploy::kLogShortcutFailed, linkPath.c_str(), deploy::kLogShortcutStepCreate,
                               static_cast<unsigned long>(result));
            return false;
        }
        FillShortcut(link.Get(), target, arguments);
        result = file.Get()->Save(linkPath.c_str(), TRUE);
    }
    InstallLog::Format(deploy::kLogShortcutTime, static_cast<int>(GetTickCount() - start));
    if (FAILED(result)) {
        InstallLog::Format(deploy::kLogShortcutFailed, linkPath.c_str(), deploy::kLogShortcutStepSave,
                           static_cast<unsigned long>(result));
        return false;
    }
    return true;
}

}  // namespace

void FillShortcut(IShellLinkW* link, const std::wstring& target, const std::wstring* arguments) {
    link->SetPath(target.c_str());
    link->SetWorkingDirectory(FolderOf(target).c_str());
    if (arguments) SetAppUserModelId(link);
    link->SetShowCmd(SW_SHOWNORMAL);
    link->SetArguments(arguments ? arguments->c_str() : L"");
}

bool StoreAppUserModelId(IPropertyStore* store) {
    ScopedPropVariant value;
    if (SUCCEEDED(SHStrDupW(deploy::kAppUserModelId, &value.Get().pwszVal))) {
        value.Get().vt = VT_LPWSTR;
    } else {
        PropVariantClear(&value.Get());
    }
    if (FAILED(store->SetValue(kAppUserModelIdKey, value.Get()))) return false;
    return SUCCEEDED(store->Commit());
}

bool CreateFileShortcut(const std::wstring& target, const std::wstring& linkPath) {
    return WriteShortcut(target, linkPath, nullptr);
}

bool CreateAppShortcut(const std::wstring& target, const std::wstring& linkPath, const std::wstring& arguments) {
    return WriteShortcut(target, linkPath, &arguments);
}
