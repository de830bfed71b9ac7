#pragma once

#include <string>
#include <vector>

#include "deploy/files/nt_files.h"

// A folder held open from its drive root down. Each folder on the way is opened inside the one
// above it and checked to be the very entry that folder lists, and none may be a link; the folder
// itself (and every folder from `holdFrom` down to it) is held without delete sharing, so nobody
// can rename it or put a link in its place while this object lives. What is done through the
// handle then happens to the folder that was checked, whatever becomes of its path.
namespace files {

class HeldFolder {
public:
    HeldFolder() = default;
    HeldFolder(HeldFolder&&) = default;
    HeldFolder& operator=(HeldFolder&&) = default;

    // Opens `path` (fully qualified). With `forDeletion` the folder is opened so that it can be
    // deleted through its own handle. On failure IsValid() is false and RefusedAt() names the
    // folder on the way that was a link, missing, no folder, or swapped.
    static HeldFolder Open(const std::wstring& path, const std::wstring& holdFrom = std::wstring(),
                           bool forDeletion = false);

    // The subfolder `name` of this folder, opened and checked like the folders on the way and held
    // the same way; `entry` is its entry in this folder's listing. This folder must outlive it.
    HeldFolder OpenChild(const FolderEntry& entry, bool forDeletion) const;

    bool IsValid() const { return m_handle.IsValid(); }
    HANDLE Handle() const { return m_handle.Get(); }
    // The full path the folder was opened by; for messages and for the few calls that take a path.
    const std::wstring& Path() const { return m_path; }
    const std::wstring& RefusedAt() const { return m_refusedAt; }
    // Why it was refused: "link", "missing", "no folder", "swapped" or "open failed".
    const wchar_t* Reason() const { return m_reason; }
    DWORD Error() const { return m_error; }
    // Writes the install-log line of a refused open: `path` (what the caller meant to work on),
    // why, where on its way, and the system's error.
    void LogRefusal(const std::wstring& path) const;

    // The entry `name` of this folder's listing (letter case ignored); false when there is none.
    bool FindEntry(const std::wstring& name, FolderEntry& entry) const;

private:
    HeldFolder Refused(const std::wstring& at, const wchar_t* reason) &&;

    std::vector<diag::ScopedHandle> m_above;  // the folders on the way, root first
    diag::ScopedHandle m_handle;
    std::wstring m_path;
    std::wstring m_refusedAt;
    const wchar_t* m_reason = L"";
    DWORD m_error = 0;
};

// Opens the entry `entry` of the folder `parent` for what `access` asks, checked to be the object
// the listing named (no link put in its place, no other object renamed to its name since). An
// invalid handle for a link or a swapped entry; `swapped` tells which.
diag::ScopedHandle OpenListedEntry(HANDLE parent, const FolderEntry& entry, DWORD access, bool* swapped = nullptr);

}  // namespace files
