#include "deploy/install_footprint.h"

#include <windows.h>

#include <algorithm>

#include "deploy/deploy_constants.h"
#include "deploy/file_system.h"
#include "deploy/files/path_identity.h"
#include "deploy/locked_file_copy.h"
#include "diag/install_log.h"

namespace {

// "C:\a\b" for "C:\a\b\c" (and for "C:\a\b\c\"); "C:" for "C:\a"; empty for "C:" or a bare name.
std::wstring FolderAbove(const std::wstring& path) {
    std::wstring trimmed = path;
    while (!trimmed.empty() && trimmed.back() == L'\\') trimmed.pop_back();
    const size_t slash = trimmed.find_last_of(L'\\');
    if (slash == std::wstring::npos) return std::wstring();
    return trimmed.substr(0, slash);
}

}  // namespace

std::vector<std::wstring> InstallFootprint::MissingFolders(const std::wstring& path) {
    // A drive root ("C:") has no folder above it that this loop could reach, and is never listed.
    std::vector<std::wstring> missing;
    for (std::wstring folder = path; !FolderAbove(folder).empty() && !FileOrFolderExists(folder);
         folder = FolderAbove(folder)) {
        missing.insert(missing.begin(), folder);
    }
    return missing;
}

void InstallFootprint::NoteMadeFolders(const std::vector<std::wstring>& folders) {
    std::vector<Entry> made;
    for (const std::wstring& folder : folders) {
        if (FolderExists(folder)) made.push_back({folder, true});
    }
    // Noted together: a removal running meanwhile takes all of them or none, never a folder
    // without the folder inside it that keeps it from going.
    std::lock_guard<std::mutex> lock(m_lock);
    m_entries.insert(m_entries.end(), made.begin(), made.end());
}

bool InstallFootprint::CreateFolders(const std::wstring& path) {
    const std::vector<std::wstring> missing = MissingFolders(path);
    const bool created = CreateFolderPath(path);
    NoteMadeFolders(missing);
    return created;
}

bool InstallFootprint::CreateEmptyFile(const std::wstring& path) {
    if (FileOrFolderExists(path)) return false;
    CreateFolders(FolderAbove(path));
    const bool created = ::CreateEmptyFile(path);
    if (FileExists(path)) NoteFile(path);
    return created;
}

bool InstallFootprint::CopyFileOver(const std::wstring& source, const std::wstring& target) {
    const std::wstring side = target + deploy::kRenameSuffix;
    const bool targetWasThere = FileOrFolderExists(target);
    const bool sideWasThere = FileOrFolderExists(side);
    if (CopyLockedFile(source, target)) {
        NoteFile(target);
        return true;
    }
    if (!targetWasThere && FileExists(target)) NoteFile(target);
    if (!targetWasThere && !sideWasThere && FileExists(side)) NoteFile(side);
    return false;
}

bool InstallFootprint::Empty() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_entries.empty();
}

std::vector<std::wstring> InstallFootprint::MadeFoldersAbove(const std::wstring& folder) const {
    std::vector<Entry> entries;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        entries = m_entries;
    }
    // The folders above `folder`, each looked at once rather than once for every noted folder.
    std::vector<files::FileIdentity> way;
    const std::wstring full = files::AbsolutePath(folder);
    for (std::wstring current = full.empty() ? full : files::FolderAbove(full); !current.empty();
         current = files::FolderAbove(current)) {
        files::FileIdentity identity;
        if (files::IdentityOf(current, identity)) way.push_back(identity);
    }
    std::vector<std::wstring> above;
    for (const Entry& entry : entries) {
        if (!entry.folder) continue;
        files::FileIdentity identity;
        if (files::IdentityOf(entry.path, identity)) {
            if (std::find(way.begin(), way.end(), identity) != way.end()) above.push_back(entry.path);
        } else if (files::IsSameOrInside(folder, entry.path) && !files::IsSameObject(folder, entry.path)) {
            // Gone: decided by the text, as for any path that names nothing.
            above.push_back(entry.path);
        }
    }
    return above;
}

void InstallFootprint::NoteFile(const std::wstring& path) {
    // A name noted twice costs nothing: the removal skips what is gone already.
    Note({path, false});
}

void InstallFootprint::Note(Entry entry) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_entries.push_back(std::move(entry));
}

int InstallFootprint::RemoveAll() {
    std::vector<Entry> entries;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        entries.swap(m_entries);
    }
    int files = 0;
    int folders = 0;
    int left = 0;
    // Files first, so that the folders are empty when their turn comes.
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (entry->folder || !FileOrFolderExists(entry->path)) continue;
        // Through the handle of its folder, with no link on the way: a folder of this run that
        // somebody has swapped for a link since does not take their files with it.
        if (RefuseLinkOnPath(entry->path) && DeleteHeldPath(entry->path, std::wstring())) {
            ++files;
            continue;
        }
        ++left;
    }
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (!entry->folder || !FolderExists(entry->path)) continue;
        if (RemoveEmptyFolder(entry->path)) {
            ++folders;
            continue;
        }
        // Something this run did not write has been put into the folder: it stays, with the folder.
        InstallLog::Format(deploy::kLogFootprintFolderKept, entry->path.c_str());
        ++left;
    }
    InstallLog::Format(deploy::kLogFootprintRemoved, files, folders, left);
    return left;
}
