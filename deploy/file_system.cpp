#include "deploy/file_system.h"

#include <windows.h>

#include <shlwapi.h>

#include <cstdio>
#include <vector>

#include "deploy/deploy_constants.h"
#include "deploy/files/file_texts.h"
#include "deploy/files/path_identity.h"
#include "deploy/files/path_links.h"
#include "deploy/files/tree_deletion.h"
#include "deploy/install_paths.h"
#include "deploy/product_folder.h"
#include "deploy/retry_pause.h"
#include "diag/text_format.h"
#include "diag/install_log.h"
#include "diag/win_handle.h"

namespace {

// Side names are tried up to this number; a folder with more stale side files is left alone.
constexpr int kMaxSideNameNumber = 10000;
constexpr int kTreeCopyAttempts = 5;
constexpr unsigned long kTreeCopyPauseMs = 2;

bool IsDotEntry(const WIN32_FIND_DATAW& entry) {
    return wcscmp(entry.cFileName, L".") == 0 || wcscmp(entry.cFileName, L"..") == 0;
}

bool IsFolderEntry(const WIN32_FIND_DATAW& entry) {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A junction or symbolic link: its target belongs to someone else and is never entered.
bool IsLinkEntry(const WIN32_FIND_DATAW& entry) {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::wstring WithBackslash(const std::wstring& folder) {
    if (!folder.empty() && folder.back() == L'\\') return folder;
    return folder + L"\\";
}

std::wstring AllEntriesPattern(const std::wstring& folder) { return WithBackslash(folder) + L"*.*"; }

// The first "{path}~{n}" from `first` on that is free, or that can be freed by deleting it.
std::wstring FreeSideName(const std::wstring& path, int first) {
    for (int n = first; n <= kMaxSideNameNumber; ++n) {
        std::wstring side = FormatText(deploy::kSideNamePattern, path.c_str(), n);
        if (!FileOrFolderExists(side) || DeleteFileW(side.c_str())) return side;
    }
    return std::wstring();
}

}  // namespace

bool RefuseLinkOnPath(const std::wstring& path) {
    const std::wstring link = files::LinkOnPath(path);
    if (link.empty()) return true;
    InstallLog::Format(deploy::kLogLinkOnPath, path.c_str(), link.c_str());
    return false;
}

bool DeleteHeldPath(const std::wstring& path, const std::wstring& holdFrom) {
    const std::wstring full = files::FullPath(path);
    const std::wstring above = files::FolderAbove(full);
    if (above.empty()) {
        InstallLog::Format(deploy::kLogDeleteTreeRefused, path.c_str());
        return false;
    }
    files::HeldFolder parent = files::HeldFolder::Open(above, holdFrom.empty() ? above : holdFrom);
    if (!parent.IsValid()) {
        parent.LogRefusal(path);
        return false;
    }
    files::FolderEntry entry;
    // Gone since it was looked at: nothing is left to delete.
    if (!parent.FindEntry(LastComponent(full), entry)) return true;
    return files::DeleteEntry(parent, entry);
}

bool RemoveEmptyFolder(const std::wstring& path) {
    if (!RefuseLinkOnPath(path)) {
        SetLastError(ERROR_REPARSE_TAG_MISMATCH);
        return false;
    }
    files::HeldFolder folder = files::HeldFolder::Open(path, path, true);
    DWORD error = folder.Error();
    if (folder.IsValid() && files::MarkForDeletion(folder.Handle(), &error)) return true;
    SetLastError(error);
    return false;
}

bool CreateFolderPath(const std::wstring& path) {
    if (path.empty() || path.size() >= MAX_PATH) return false;
    std::wstring full = WithBackslash(path);
    // The root ("C:\" or "\\server\share\") is never created; start with the first name below it.
    const wchar_t* afterRoot = PathSkipRootW(full.c_str());
    size_t start = afterRoot != nullptr ? static_cast<size_t>(afterRoot - full.c_str()) : 0;
    for (size_t slash = full.find(L'\\', start); slash != std::wstring::npos;
         slash = full.find(L'\\', slash + 1)) {
        std::wstring prefix = full.substr(0, slash);
        if (prefix.empty() || FolderExists(prefix)) continue;
        if (FileExists(prefix)) {
            // A file in the way is removed only from the product's own folders; elsewhere it is
            // somebody's data and the folder cannot be made.
            if (!IsProductFolder(prefix)) {
                InstallLog::Format(deploy::kLogFolderBlockedByFile, prefix.c_str());
                return false;
            }
            DeleteFileW(prefix.c_str());
        }
        if (!CreateDirectoryW(prefix.c_str(), nullptr)) {
            DWORD error = GetLastError();
            // Another thread or process may have made it in the meantime.
            if (error == ERROR_ALREADY_EXISTS && FolderExists(prefix)) continue;
            InstallLog::Format(deploy::kLogCreateFolderFailed, prefix.c_str(), error);
            return false;
        }
    }
    return true;
}

bool DeleteFolderTree(const std::wstring& path) {
    // A wildcard would name every match; a root or a path relative to some current folder names
    // far more than the caller means.
    const std::wstring full = files::FullPath(path);
    if (path.find_first_of(L"*?") != std::wstring::npos || full.empty() || PathIsRootW(full.c_str())) {
        InstallLog::Format(deploy::kLogDeleteTreeRefused, path.c_str());
        return false;
    }
    if (!FileOrFolderExists(full)) return true;
    if (full.size() >= MAX_PATH - 1) {
        InstallLog::Format(deploy::kLogDeleteTreeRefused, path.c_str());
        return false;
    }
    if (!RefuseLinkOnPath(full)) return false;
    const std::wstring ownFolder = ProductFolderOf(full);
    if (ownFolder.empty()) {
        InstallLog::Format(deploy::kLogNotProductFolder, full.c_str());
        return false;
    }
    return DeleteHeldPath(full, ownFolder);
}

bool CreateEmptyFile(const std::wstring& path) {
    if (path.empty()) return false;
    if (FileOrFolderExists(path)) return true;
    CreateFolderPath(ParentFolder(path));
    diag::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.IsValid();
}

bool MoveAside(const std::wstring& path) {
    if (!FileOrFolderExists(path) || !RefuseLinkOnPath(path)) return false;
    std::wstring side = FreeSideName(path, 1);
    if (side.empty() || !MoveFileW(path.c_str(), side.c_str())) {
        InstallLog::Format(deploy::kLogMoveAsideFailed, path.c_str());
        return false;
    }
    // The moved file is usually still in use; then the system deletes it at the next start.
    if (FileOrFolderExists(side) && !DeleteFileW(side.c_str())) {
        MoveFileExW(side.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    return true;
}

bool DeleteOrMoveAside(const std::wstring& path) {
    if (!FileOrFolderExists(path)) return true;
    if (!RefuseLinkOnPath(path)) return false;
    if (DeleteFileW(path.c_str())) return true;
    std::wstring side = FreeSideName(path, 0);
    if (side.empty() || !MoveFileW(path.c_str(), side.c_str())) {
        InstallLog::Format(deploy::kLogMoveAsideFailed, path.c_str());
        return false;
    }
    return true;
}

bool CopyReplacing(const wchar_t* target, const wchar_t* source, bool failIfExists) {
    if (target == nullptr || source == nullptr) return false;
    if (CopyFileW(source, target, failIfExists)) return true;
    MoveAside(target);
    if (CopyFileW(source, target, failIfExists)) return true;
    return CopyFileW(source, target, failIfExists) != FALSE;
}

bool HoldsOnlyManifest(const std::wstring& folder, const std::wstring& fileName) {
    // A link's content is its target's, which is never judged (nor entered) here.
    if (!FolderExists(folder) || IsLink(folder)) return false;
    WIN32_FIND_DATAW entry;
    diag::ScopedFindHandle find(FindFirstFileW(AllEntriesPattern(folder).c_str(), &entry));
    if (!find.IsValid()) return true;
    do {
        if (IsDotEntry(entry)) continue;
        // A folder link goes as a link with the folder, so it counts as empty.
        if (IsFolderEntry(entry) && IsLinkEntry(entry)) continue;
        if (IsFolderEntry(entry)) {
            int budget = 100;
            if (FolderTreeSize(budget, JoinPath(folder, entry.cFileName)) != 0) return false;
        } else if (fileName != entry.cFileName) {
            return false;
        }
    } while (FindNextFileW(find.Get(), &entry));
    return true;
}

uint64_t FolderTreeSize(int& budget, const std::wstring& folder) {
    if (budget <= 0) return 0;
    --budget;
    uint64_t total = 0;
    WIN32_FIND_DATAW entry;
    diag::ScopedFindHandle find(FindFirstFileW(AllEntriesPattern(folder).c_str(), &entry));
    if (!find.IsValid()) return 0;
    do {
        if (IsDotEntry(entry)) continue;
        if (IsLinkEntry(entry)) {
            --budget;  // listed, never entered or counted: its target is not in this tree
        } else if (IsFolderEntry(entry)) {
            total += FolderTreeSize(budget, JoinPath(folder, entry.cFileName));
        } else {
            total += (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            --budget;
        }
    } while (budget > 0 && FindNextFileW(find.Get(), &entry));
    return total;
}

bool CopyFolderTree(const std::wstring& source, const std::wstring& target, int& budget) {
    // An exhausted budget means part of the tree stays uncopied: that is a failure, not a success.
    if (budget <= 0) {
        InstallLog::Format(deploy::kLogCopyTreeBudgetExhausted, source.c_str());
        return false;
    }
    --budget;
    if (source.empty() || target.empty() || !CreateFolderPath(target)) return false;
    if (!FolderExists(source)) return true;
    WIN32_FIND_DATAW entry;
    diag::ScopedFindHandle find(FindFirstFileW(AllEntriesPattern(source).c_str(), &entry));
    if (!find.IsValid()) return true;
    do {
        // A link is not part of the tree: copying it would copy its target's content.
        if (IsDotEntry(entry) || IsLinkEntry(entry)) continue;
        std::wstring from = JoinPath(source, entry.cFileName);
        std::wstring to = JoinPath(target, entry.cFileName);
        if (IsFolderEntry(entry)) {
            if (!CopyFolderTree(from, to, budget)) return false;
            continue;
        }
        bool copied = false;
        for (int attempt = 0; attempt < kTreeCopyAttempts && !copied; ++attempt) {
            copied = CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
            if (!copied) PauseBeforeRetry(kTreeCopyPauseMs);
        }
        if (!copied) {
            InstallLog::Format(deploy::kLogCopyTreeFileFailed, to.c_str(), GetLastError());
            return false;
        }
    } while (FindNextFileW(find.Get(), &entry));
    return true;
}

bool FindUsersFolder(const std::wstring& folder, std::wstring& found, int& budget) {
    if (!found.empty()) return true;
    if (budget <= 0) return false;
    --budget;
    WIN32_FIND_DATAW entry;
    diag::ScopedFindHandle find(FindFirstFileW(AllEntriesPattern(folder).c_str(), &entry));
    if (!find.IsValid()) return false;
    do {
        if (IsDotEntry(entry) || !IsFolderEntry(entry) || IsLinkEntry(entry)) continue;
        std::wstring child = JoinPath(folder, entry.cFileName);
        if (wcscmp(entry.cFileName, deploy::kUsersFolderName) == 0) {
            found = child;
            return true;
        }
        if (FindUsersFolder(child, found, budget)) return true;
    } while (FindNextFileW(find.Get(), &entry));
    return false;
}

std::wstring CreateStagingFolder() {
    std::wstring appData = AppDataFolder();
    if (appData.empty()) return std::wstring();
    // A stray file where the staging root belongs would block every staging folder.
    std::wstring stagingRoot = appData + deploy::kStagingRootRelative;
    if (FileOrFolderExists(stagingRoot)) DeleteFileW(stagingRoot.c_str());

    for (int n = 0; n <= kMaxSideNameNumber; ++n) {
        std::wstring candidate = FormatText(deploy::kStagingFolderPattern, appData.c_str(),
                                            deploy::kProductFolder, deploy::kProductFolder, n);
        if (!FileOrFolderExists(candidate) || DeleteFolderTree(candidate)) {
            CreateFolderPath(candidate);
            return candidate;
        }
    }
    return std::wstring();
}

bool CopySystemProfile(const std::wstring& stagingFolder) {
    const std::wstring target = deploy::kSystemProfilePath;
    if (FileOrFolderExists(target)) return true;
    std::wstring source =
        JoinPath(stagingFolder + deploy::kStagedTreeRelative, deploy::kSystemProfileFileName);
    for (int attempt = 0; attempt < kTreeCopyAttempts; ++attempt) {
        if (CopyFileW(source.c_str(), target.c_str(), FALSE)) return true;
        PauseBeforeRetry(kTreeCopyPauseMs);
    }
    InstallLog::Format(deploy::kLogSystemProfileFailed, target.c_str(), GetLastError());
    return false;
}
