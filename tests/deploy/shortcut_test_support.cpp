#include "shortcut_test_support.h"

#include <windows.h>

#include <objidl.h>
#include <propidl.h>
#include <propsys.h>
#include <shlobj.h>

#include "diag/scoped_com.h"

namespace {

constexpr PROPERTYKEY kAppUserModelIdKey = {
    {0x9F4C2855, 0x9F79, 0x4B39, {0xA8, 0xD0, 0xE1, 0xD4, 0x2D, 0xE1, 0xD5, 0xF3}}, 5};

bool LoadLink(const std::wstring& linkPath, diag::ScopedComPointer<IShellLinkW>& link) {
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(link.Receive()))))
        return false;
    diag::ScopedComPointer<IPersistFile> file;
    if (FAILED(link.Get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Receive())))) return false;
    return SUCCEEDED(file.Get()->Load(linkPath.c_str(), STGM_READ));
}

}  // namespace

ShortcutContents ReadShortcut(const std::wstring& linkPath) {
    ShortcutContents contents;
    diag::ScopedComApartment apartment(COINIT_APARTMENTTHREADED);
    diag::ScopedComPointer<IShellLinkW> link;
    if (!LoadLink(linkPath, link)) return contents;
    contents.loaded = true;
    wchar_t text[MAX_PATH * 2] = {};
    // The item identifier list keeps the full Unicode path; Wine's GetPath answers in the ANSI code page.
    PIDLIST_ABSOLUTE list = nullptr;
    if (SUCCEEDED(link.Get()->GetIDList(&list)) && list) {
        if (SHGetPathFromIDListW(list, text)) contents.target = text;
        CoTaskMemFree(list);
    }
    text[0] = L'\0';
    if (SUCCEEDED(link.Get()->GetArguments(text, MAX_PATH * 2))) contents.arguments = text;
    text[0] = L'\0';
    if (SUCCEEDED(link.Get()->GetWorkingDirectory(text, MAX_PATH))) contents.workingFolder = text;
    text[0] = L'\0';
    if (SUCCEEDED(link.Get()->GetIconLocation(text, MAX_PATH, &contents.iconIndex))) contents.iconFile = text;
    link.Get()->GetShowCmd(&contents.showCommand);
    return contents;
}

std::wstring ReadAppUserModelId(IPropertyStore* store) {
    PROPVARIANT value;
    PropVariantInit(&value);
    std::wstring id;
    if (SUCCEEDED(store->GetValue(kAppUserModelIdKey, &value)) && value.vt == VT_LPWSTR && value.pwszVal) {
        id = value.pwszVal;
    }
    PropVariantClear(&value);
    return id;
}
