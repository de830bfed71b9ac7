#include "deploy/files/path_links.h"

#include <windows.h>

#include <shlwapi.h>

#include "deploy/files/path_identity.h"

namespace files {

std::wstring LinkOnPath(const std::wstring& path) {
    // Each name on the way is looked at once; its spelling (short or long) names the same object.
    const std::wstring full = AbsolutePath(path);
    if (full.empty()) return path;
    const wchar_t* afterRoot = PathSkipRootW(full.c_str());
    if (afterRoot == nullptr) return std::wstring();
    size_t end = static_cast<size_t>(afterRoot - full.c_str());
    while (end < full.size()) {
        size_t slash = full.find(L'\\', end);
        if (slash == std::wstring::npos) slash = full.size();
        const std::wstring prefix = full.substr(0, slash);
        const DWORD attributes = GetFileAttributesW(prefix.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return std::wstring();
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return prefix;
        end = slash + 1;
    }
    return std::wstring();
}

}  // namespace files
