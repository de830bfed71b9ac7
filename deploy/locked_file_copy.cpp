#include "deploy/locked_file_copy.h"

#include <windows.h>

#include <cstdio>

#include "deploy/deploy_constants.h"
#include "deploy/file_system.h"
#include "deploy/retry_pause.h"
#include "diag/install_log.h"

namespace {

constexpr int kCopyRounds = 5;
constexpr unsigned long kRoundPauseMs = 1000;

bool CopyOver(const std::wstring& source, const std::wstring& target) {
    return CopyFileW(source.c_str(), target.c_str(), FALSE) != FALSE;
}

// Renames the target to "{target}.rename", replacing an older file of that name.
bool RenameToSideName(const std::wstring& target) {
    std::wstring side = target + deploy::kRenameSuffix;
    if (FileOrFolderExists(side)) DeleteFileW(side.c_str());
    return _wrename(target.c_str(), side.c_str()) == 0;
}

const wchar_t* ExistenceText(const std::wstring& path) {
    return FileOrFolderExists(path) ? deploy::kLogExists : deploy::kLogMissing;
}

}  // namespace

bool CopyLockedFile(const std::wstring& source, const std::wstring& target) {
    // A target that is still there may be one deleted while another program holds it: its name
    // stays until the holder closes it, and then the file goes with whatever it holds by then. Wine
    // even lets it be written meanwhile, so a copy over it would vanish after reporting success.
    // Moved aside first, it takes only the old content with it; a holder that shares no deleting
    // keeps it in place, to be written over if the holder shares writing.
    // A link on the way would send the copy, and the moving aside, somewhere else.
    if (!RefuseLinkOnPath(target)) return false;
    MoveAside(target);
    for (int round = kCopyRounds; round > 0; --round) {
        if (CopyOver(source, target)) return true;
        MoveAside(target);
        if (CopyOver(source, target)) return true;
        if (CopyOver(source, target)) return true;
        RenameToSideName(target);
        PauseBeforeRetry(kRoundPauseMs);
    }

    InstallLog::Format(deploy::kLogInstallFileFailed, source.c_str());
    InstallLog::Format(deploy::kLogInstallFileSource, ExistenceText(source));
    InstallLog::Format(deploy::kLogInstallFileTargetPath, target.c_str());
    InstallLog::Format(deploy::kLogInstallFileTarget, ExistenceText(target));
    RenameToSideName(target);
    if (CopyReplacing(target.c_str(), source.c_str(), true)) return true;

    InstallLog::Format(deploy::kLogCopyGaveUp);
    // The old file is not left in the way of the next attempt; the install still fails, because
    // the product would run without this file.
    if (!RenameToSideName(target))
        InstallLog::Format(deploy::kLogRenameFailed, target.c_str());
    return false;
}
