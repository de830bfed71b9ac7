#include "deploy/product_folder.h"

#include <windows.h>

#include <shlwapi.h>

#include <cwctype>
#include <vector>

#include "deploy/deploy_constants.h"
#include "deploy/file_system.h"
#include "deploy/install_paths.h"
#include "diag/win_handle.h"

namespace {

bool IsSlash(wchar_t c) { return c == L'\\' || c == L'/'; }

// "X:\..." or "\\server\share...": a path that names the same place whatever the current folder.
bool IsFullyQualified(const std::wstring& path) {
    if (path.size() >= 3 && iswalpha(path[0]) && path[1] == L':' && IsSlash(path[2])) return true;
    // Device paths ("\\?\", "\\.\") bypass the normalisation the comparison relies on.
    if (path.size() >= 4 && IsSlash(path[0]) && IsSlash(path[1]) && (path[2] == L'?' || path[2] == L'.') &&
        IsSlash(path[3]))
        return false;
    return path.size() >= 3 && IsSlash(path[0]) && IsSlash(path[1]) && !IsSlash(path[2]);
}

std::wstring ResolvedPath(const std::wstring& path) {
    DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return std::wstring();
    std::vector<wchar_t> buffer(needed + 1);
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0 || length >= buffer.size()) return std::wstring();
    return std::wstring(buffer.data(), length);
}

// An existing path in its long form: "C:\PROGRA~1" and "C:\Program Files" are one folder.
std::wstring LongForm(const std::wstring& path) {
    DWORD needed = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0) return path;
    std::vector<wchar_t> buffer(needed + 1);
    DWORD length = GetLongPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) return path;
    return std::wstring(buffer.data(), length);
}

bool IsRootPath(const std::wstring& path) { return PathIsRootW(path.c_str()) != FALSE; }

// `path` is `folder` or lies below it; both normalised.
bool IsSameOrBelow(const std::wstring& path, const std::wstring& folder) {
    if (folder.empty() || path.size() < folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
    return path.size() == folder.size() || path[folder.size()] == L'\\';
}

bool IsBelowKnownProductRoot(const std::wstring& normalised) {
    for (const std::wstring& root : {StagingRootFolder(), DefaultProductRoot(), ProgramsFolder()}) {
        std::wstring own = NormalisedPath(root);
        if (!own.empty() && !IsRootPath(own) && IsSameOrBelow(normalised, own)) return true;
    }
    return false;
}

// The folder itself or one of its ancestors (never a drive root) holds the install manifest.
bool IsBelowManifestFolder(const std::wstring& normalised) {
    std::wstring folder = normalised;
    while (!folder.empty() && !IsRootPath(folder)) {
        if (FileExists(JoinPath(folder, deploy::kManifestFileName))) return true;
        size_t slash = folder.find_last_of(L'\\');
        if (slash == std::wstring::npos) break;
        folder = folder.substr(0, slash);
        // "C:" is the parent of "C:\x" here; its root form is "C:\".
        if (folder.size() == 2 && folder[1] == L':') break;
    }
    return false;
}

bool FolderHasEntries(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    diag::ScopedFindHandle find(FindFirstFileW(JoinPath(folder, L"*").c_str(), &entry));
    if (!find.IsValid()) return false;
    do {
        if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0) return true;
    } while (FindNextFileW(find.Get(), &entry));
    return false;
}

}  // namespace

std::wstring FullPath(const std::wstring& path) {
    if (!IsFullyQualified(path)) return std::wstring();
    std::wstring full = ResolvedPath(path);
    if (full.empty()) return full;
    full = LongForm(full);
    while (full.size() > 1 && full.back() == L'\\' && !IsRootPath(full)) full.pop_back();
    return full;
}

std::wstring NormalisedPath(const std::wstring& path) {
    std::wstring full = FullPath(path);
    if (!full.empty()) CharUpperBuffW(&full[0], static_cast<DWORD>(full.size()));
    return full;
}

bool IsProductFolder(const std::wstring& path) {
    const std::wstring normalised = NormalisedPath(path);
    if (normalised.empty() || IsRootPath(normalised)) return false;
    return IsBelowKnownProductRoot(normalised) || IsBelowManifestFolder(normalised);
}

bool HoldsForeignData(const std::wstring& path) {
    if (!FileOrFolderExists(path) || IsProductFolder(path)) return false;
    return !FolderExists(path) || FolderHasEntries(path);
}
