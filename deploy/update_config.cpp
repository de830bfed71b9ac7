#include "deploy/update_config.h"

#include <windows.h>

#include "deploy/file_system.h"
#include "deploy/files/path_identity.h"
#include "deploy/install_paths.h"
#include "deploy/previous_install_constants.h"
#include "diag/text_format.h"
#include "diag/install_log.h"

namespace {

constexpr DWORD kValueCapacity = MAX_PATH;

// Removable, fixed, remote, CD-ROM and RAM drives: a folder there can be deleted. Unknown drives
// and absent ones (a root that does not exist) are left alone.
bool IsOnUsableDrive(const std::wstring& path) {
    const UINT type = DriveTypeOf(path);
    return type >= DRIVE_REMOVABLE && type <= DRIVE_RAMDISK;
}

// {update folder}\AuQuietUpdate.ini, the folder's last level created when missing; empty when the
// folder can be neither found nor created.
std::wstring QuietUpdateIni() {
    const std::wstring folder = UpdateFolder();
    if (folder.empty()) return std::wstring();
    if (!FolderExists(folder) && !CreateDirectoryW(folder.c_str(), nullptr)) {
        InstallLog::Format(deploy::kLogNoUpdateFolder, folder.c_str(), GetLastError());
        return std::wstring();
    }
    return JoinPath(folder, deploy::kQuietUpdateIniName);
}

// An entry that is the new version folder, holds it or lies inside it names the install that is
// being made, however it is spelled ("C:\APP\1.14.301\", "...\Bin\..", an 8.3 name).
bool TouchesNewVersion(const std::wstring& folder, const std::wstring& newVersionFolder) {
    return files::IsSameOrInside(newVersionFolder, folder) || files::IsSameOrInside(folder, newVersionFolder);
}

void DeleteHistoryFolders(const std::wstring& ini, const std::wstring& newVersionFolder) {
    const int count =
        static_cast<int>(GetPrivateProfileIntW(deploy::kIniHistorySection, deploy::kIniHistoryCountKey, 0, ini.c_str()));
    for (int i = 1; i <= count; ++i) {
        const std::wstring key = FormatText(deploy::kIniHistoryPathKeyFormat, i);
        wchar_t folder[kValueCapacity] = {};
        GetPrivateProfileStringW(deploy::kIniHistorySection, key.c_str(), L"", folder, kValueCapacity, ini.c_str());
        if (folder[0] == L'\0' || !IsOnUsableDrive(folder)) continue;
        if (TouchesNewVersion(folder, newVersionFolder)) {
            InstallLog::Format(deploy::kLogHistoryEntryKept, folder);
            continue;
        }
        // DeleteFolderTree refuses any folder that is not the product's own or has a link on its way.
        DeleteFolderTree(folder);
        InstallLog::Format(deploy::kLogDeleteVersionFolder, folder);
    }
}

}  // namespace

void DeleteVersion(const std::wstring& newVersionFolder) {
    const DWORD start = GetTickCount();
    InstallLog::Format(deploy::kLogDeleteVersionStart, static_cast<int>(start));
    const std::wstring ini = QuietUpdateIni();
    if (!ini.empty()) {
        DeleteHistoryFolders(ini, newVersionFolder);
        const std::wstring programs = ProgramsFolder();
        if (!programs.empty() && IsOnUsableDrive(programs) && !TouchesNewVersion(programs, newVersionFolder))
            DeleteFolderTree(programs);
        if (FileExists(ini)) {
            // Moved aside first: a file in use that is only marked for deletion would keep its
            // name taken, and the one written below could not be created.
            if (!MoveAside(ini)) DeleteOrMoveAside(ini);
            InstallLog::Format(deploy::kLogIniRemoved);
        }
        const bool written = WritePrivateProfileStringW(deploy::kIniCurrentSection, deploy::kIniVersionPathKey,
                                                        newVersionFolder.c_str(), ini.c_str()) &&
                             WritePrivateProfileStringW(deploy::kIniHistorySection, nullptr, nullptr, ini.c_str());
        if (written)
            InstallLog::Format(deploy::kLogIniRewritten);
        else
            InstallLog::Format(deploy::kLogIniNotWritten, GetLastError());
    }
    InstallLog::Format(deploy::kLogDeleteVersionElapsed, static_cast<int>(GetTickCount() - start));
}

bool ResetUpdateState() {
    const std::wstring folder = UpdateFolder();
    if (folder.empty()) return true;
    const std::wstring marker = JoinPath(folder, deploy::kUpdateMarkerName);
    if (!FileExists(marker)) return true;
    if (DeleteFileW(marker.c_str())) return true;
    if (WritePrivateProfileStringW(deploy::kIniUpdateSection, deploy::kIniStateKey, nullptr, marker.c_str())) return true;
    InstallLog::Format(deploy::kLogUpdateMarkerKept, marker.c_str(), GetLastError());
    return false;
}
