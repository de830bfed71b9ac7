#include "diag/folder_chain.h"

#include <windows.h>

#include "diag/diag_constants.h"

namespace diag {
namespace {

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

bool CreateFolderChain(const std::wstring& folder) {
    if (folder.empty() || folder.size() >= kMaxFolderChainPath) return false;
    std::wstring path = folder;
    if (path.back() != L'\\') path += L'\\';

    for (size_t separator = path.find(L'\\'); separator != std::wstring::npos;
         separator = path.find(L'\\', separator + 1)) {
        const std::wstring prefix = path.substr(0, separator);
        // "C:" and the empty prefix of a rooted path are drives, not folders to create.
        if (prefix.empty() || (prefix.size() == 2 && prefix[1] == L':')) continue;
        if (IsFolder(prefix)) continue;
        if (IsFile(prefix)) DeleteFileW(prefix.c_str());
        if (!CreateDirectoryW(prefix.c_str(), nullptr) && !IsFolder(prefix)) return false;
    }
    return true;
}

std::wstring ParentFolderOf(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos) return std::wstring();
    return path.substr(0, separator);
}

}  // namespace diag
