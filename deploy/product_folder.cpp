#include "deploy/product_folder.h"

#include <windows.h>

#include <shlwapi.h>

#include "deploy/deploy_constants.h"
#include "deploy/files/path_identity.h"
#include "deploy/files/path_links.h"
#include "deploy/files/path_queries.h"
#include "deploy/install_paths.h"
#include "diag/win_handle.h"

namespace {

bool IsRootPath(const std::wstring& path) { return PathIsRootW(path.c_str()) != FALSE; }

std::wstring KnownProductRootOf(const std::wstring& full) {
    for (const std::wstring& root : {StagingRootFolder(), DefaultProductRoot(), ProgramsFolder()}) {
        const std::wstring own = files::FullPath(root);
        if (!own.empty() && !IsRootPath(own) && files::IsSameOrInside(full, own)) return own;
    }
    return std::wstring();
}

// The nearest folder on the path, the path itself first (never a drive root), that holds the
// install manifest.
std::wstring ManifestFolderOf(const std::wstring& full) {
    for (std::wstring folder = full; !folder.empty() && !IsRootPath(folder); folder = files::FolderAbove(folder)) {
        if (FileExists(JoinPath(folder, deploy::kManifestFileName))) return folder;
    }
    return std::wstring();
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

std::wstring ProductFolderOf(const std::wstring& path) {
    const std::wstring full = files::FullPath(path);
    if (full.empty() || IsRootPath(full) || !files::LinkOnPath(full).empty()) return std::wstring();
    const std::wstring known = KnownProductRootOf(full);
    return known.empty() ? ManifestFolderOf(full) : known;
}

bool IsProductFolder(const std::wstring& path) { return !ProductFolderOf(path).empty(); }

bool HoldsForeignData(const std::wstring& path) {
    if (!FileOrFolderExists(path) || IsProductFolder(path)) return false;
    return !FolderExists(path) || FolderHasEntries(path);
}
