#include "deploy/files/path_identity.h"

#include <windows.h>

#include <shlwapi.h>

#include <vector>

namespace files {
namespace {

bool IsSlash(wchar_t c) { return c == L'\\' || c == L'/'; }

// "X:\..." or "\\server\share...": a path that names the same place whatever the current folder.
bool IsFullyQualified(const std::wstring& path) {
    if (path.size() >= 3 && iswalpha(path[0]) && path[1] == L':' && IsSlash(path[2])) return true;
    // Device paths ("\\?\", "\\.\") bypass the resolution the comparisons rely on.
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

bool IsRoot(const std::wstring& path) { return PathIsRootW(path.c_str()) != FALSE; }

// The long form of an existing path; empty when it cannot be had.
std::wstring ExistingLongForm(const std::wstring& path) {
    DWORD needed = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0) return std::wstring();
    std::vector<wchar_t> buffer(needed + 1);
    DWORD length = GetLongPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) return std::wstring();
    return std::wstring(buffer.data(), length);
}

// The longest existing folder of `path` in its long form, followed by the names that do not exist.
std::wstring LongForm(const std::wstring& path) {
    std::wstring existing = path;
    std::wstring missing;
    while (!existing.empty()) {
        std::wstring longForm = ExistingLongForm(existing);
        if (!longForm.empty()) {
            if (missing.empty()) return longForm;
            if (longForm.back() != L'\\') longForm += L'\\';
            return longForm + missing;
        }
        const std::wstring above = FolderAbove(existing);
        if (above.empty()) break;
        const size_t nameStart = above.size() + (above.back() == L'\\' ? 0 : 1);
        const std::wstring name = existing.substr(nameStart);
        missing = missing.empty() ? name : name + L"\\" + missing;
        existing = above;
    }
    return path;
}

}  // namespace

std::wstring FolderAbove(const std::wstring& fullPath) {
    if (fullPath.empty() || IsRoot(fullPath)) return std::wstring();
    std::wstring trimmed = fullPath;
    while (trimmed.size() > 1 && trimmed.back() == L'\\') trimmed.pop_back();
    const size_t slash = trimmed.find_last_of(L'\\');
    if (slash == std::wstring::npos) return std::wstring();
    std::wstring above = trimmed.substr(0, slash + 1);
    // "C:\" stays a root; "C:\a\" loses its backslash.
    if (!IsRoot(above)) above.pop_back();
    return above;
}

std::wstring AbsolutePath(const std::wstring& path) {
    if (!IsFullyQualified(path)) return std::wstring();
    std::wstring full = ResolvedPath(path);
    while (full.size() > 1 && full.back() == L'\\' && !IsRoot(full)) full.pop_back();
    return full;
}

std::wstring FullPath(const std::wstring& path) {
    const std::wstring full = AbsolutePath(path);
    return full.empty() ? full : LongForm(full);
}

std::wstring NormalisedPath(const std::wstring& path) {
    std::wstring full = FullPath(path);
    if (!full.empty()) CharUpperBuffW(&full[0], static_cast<DWORD>(full.size()));
    return full;
}

bool IdentityOf(const std::wstring& path, FileIdentity& identity) {
    // The object decides, not the spelling: the long form would only cost a read of every folder.
    const std::wstring full = AbsolutePath(path);
    if (full.empty()) return false;
    diag::ScopedHandle handle = OpenForIdentity(full);
    return handle.IsValid() && QueryIdentity(handle.Get(), identity) && identity.IsKnown();
}

bool IsSameObject(const std::wstring& a, const std::wstring& b) {
    FileIdentity first;
    FileIdentity second;
    const bool firstExists = IdentityOf(a, first);
    const bool secondExists = IdentityOf(b, second);
    if (firstExists || secondExists) return firstExists && secondExists && first == second;
    const std::wstring left = NormalisedPath(a);
    return !left.empty() && left == NormalisedPath(b);
}

bool IsSameOrInside(const std::wstring& path, const std::wstring& folder) {
    FileIdentity target;
    const bool folderExists = IdentityOf(folder, target);
    const std::wstring folderText = folderExists ? std::wstring() : NormalisedPath(folder);
    if (!folderExists && folderText.empty()) return false;
    // Compared by identity, the folders on the way need no long form; by text they do.
    for (std::wstring current = folderExists ? AbsolutePath(path) : FullPath(path); !current.empty();
         current = FolderAbove(current)) {
        if (folderExists) {
            FileIdentity identity;
            if (IdentityOf(current, identity) && identity == target) return true;
        } else if (NormalisedPath(current) == folderText) {
            return true;
        }
    }
    return false;
}

}  // namespace files
