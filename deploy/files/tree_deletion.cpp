#include "deploy/files/tree_deletion.h"

#include <windows.h>

#include <vector>

#include "deploy/files/file_texts.h"
#include "diag/install_log.h"

namespace files {
namespace {

DeletionPause g_pause = nullptr;

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    return folder.empty() || folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

// A link is removed as itself. Removing an empty folder's name or a link's cannot take anybody's
// data with it, so the path is good enough here; the folder around it is held.
bool RemoveLink(const std::wstring& path, const FolderEntry& entry) {
    const bool removed = entry.IsFolder() ? RemoveDirectoryW(path.c_str()) != FALSE : DeleteFileW(path.c_str()) != FALSE;
    if (!removed) InstallLog::Format(deploy::kLogDeleteEntryFailed, path.c_str(), GetLastError());
    return removed;
}

bool MarkAndLog(HANDLE handle, const std::wstring& path) {
    DWORD error = 0;
    if (MarkForDeletion(handle, &error)) return true;
    InstallLog::Format(deploy::kLogDeleteEntryFailed, path.c_str(), error);
    return false;
}

}  // namespace

void SetDeletionPause(DeletionPause pause) { g_pause = pause; }

bool DeleteContents(const HeldFolder& folder) {
    if (g_pause) g_pause(folder.Path());
    std::vector<FolderEntry> entries;
    if (!ListFolder(folder.Handle(), entries)) {
        InstallLog::Format(deploy::kLogDeleteEntryFailed, folder.Path().c_str(), GetLastError());
        return false;
    }
    bool removed = true;
    for (const FolderEntry& entry : entries) {
        if (!DeleteEntry(folder, entry)) removed = false;
    }
    return removed;
}

bool DeleteHeldTree(const HeldFolder& folder) {
    return DeleteContents(folder) && MarkAndLog(folder.Handle(), folder.Path());
}

bool DeleteEntry(const HeldFolder& parent, const FolderEntry& entry) {
    const std::wstring path = Join(parent.Path(), entry.name);
    if (entry.IsLink()) return RemoveLink(path, entry);
    if (entry.IsFolder()) {
        HeldFolder child = parent.OpenChild(entry, true);
        if (!child.IsValid()) {
            child.LogRefusal(path);
            return false;
        }
        return DeleteHeldTree(child);
    }
    bool swapped = false;
    diag::ScopedHandle file =
        OpenListedEntry(parent.Handle(), entry, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, &swapped);
    if (!file.IsValid()) {
        if (swapped)
            InstallLog::Format(deploy::kLogEntrySwapped, path.c_str());
        else
            InstallLog::Format(deploy::kLogDeleteEntryFailed, path.c_str(), GetLastError());
        return false;
    }
    ClearReadOnly(file.Get(), entry.attributes);
    return MarkAndLog(file.Get(), path);
}

}  // namespace files
