#include "ui/pages/folder_choice.h"

#include <windows.h>

#include <shlwapi.h>

#include "ui/pages/page_texts.h"

namespace ui {

namespace {

bool HasLastComponent(const std::wstring& path) {
    return !path.empty() && path.back() != L'\\' && path.back() != L':';
}

}  // namespace

std::wstring CombinePath(const std::wstring& folder, const std::wstring& name) {
    wchar_t joined[MAX_PATH] = {};
    // PathCombineW writes at most MAX_PATH characters and fails for anything longer.
    if (!PathCombineW(joined, folder.c_str(), name.c_str())) return std::wstring();
    return joined;
}

std::wstring LastPathComponent(const std::wstring& path) {
    if (!HasLastComponent(path)) return std::wstring();
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring ChosenFolder(const std::wstring& folderText, FolderOrigin origin) {
    if (origin == FolderOrigin::Typed) return CombinePath(folderText, kProductFolderName);
    if (LastPathComponent(folderText) == kProductRootLeaf) return folderText;
    return CombinePath(folderText, kProductRootLeaf);
}

std::wstring FolderTextOf(std::wstring versionFolder) {
    if (HasLastComponent(versionFolder)) {
        const size_t slash = versionFolder.rfind(L'\\');
        versionFolder.erase(slash == std::wstring::npos ? 0 : slash + 1);
    }
    if (!versionFolder.empty() && versionFolder.back() == L'\\') versionFolder.pop_back();
    return versionFolder;
}

}  // namespace ui
