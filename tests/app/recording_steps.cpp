#include "recording_steps.h"

#include <mutex>

namespace {
std::mutex g_callsLock;
}

bool RecordingSteps::Record(const std::wstring& call, const std::wstring& name) {
    std::lock_guard<std::mutex> lock(g_callsLock);
    calls.push_back(call);
    return failing.count(name) == 0;
}

bool RecordingSteps::Has(const std::wstring& call) const {
    for (const auto& recorded : calls) {
        if (recorded == call) return true;
    }
    return false;
}

int RecordingSteps::IndexOf(const std::wstring& prefix) const {
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].compare(0, prefix.size(), prefix) == 0) return static_cast<int>(i);
    }
    return -1;
}

bool RecordingSteps::IsNewerVersionInstalled() {
    Record(L"IsNewerVersionInstalled", L"IsNewerVersionInstalled");
    return newerVersionInstalled;
}
bool RecordingSteps::ExtractHelperDll(HINSTANCE, const wchar_t* type, int id) {
    return Record(L"ExtractHelperDll " + std::wstring(type) + L" " + std::to_wstring(id), L"ExtractHelperDll");
}
bool RecordingSteps::ReportInit(const std::wstring& first, const std::wstring& registered, const std::wstring& source,
                                const std::wstring& userId) {
    return Record(L"ReportInit " + first + L"|" + registered + L"|" + source + L"|" + userId, L"ReportInit");
}
std::wstring RecordingSteps::ReadFirstChannel() {
    Record(L"ReadFirstChannel", L"");
    return firstChannel;
}
std::wstring RecordingSteps::ReadRegisteredChannel() {
    Record(L"ReadRegisteredChannel", L"");
    return registeredChannel;
}
std::wstring RecordingSteps::ReadInstallFolder() {
    Record(L"ReadInstallFolder", L"");
    return installFolder;
}
std::wstring RecordingSteps::CreateStagingFolder() {
    Record(L"CreateStagingFolder", L"");
    return L"C:\\Staging\\Pelora~0";
}
std::wstring RecordingSteps::DefaultProductRoot() {
    Record(L"DefaultProductRoot", L"");
    return L"C:\\AppData\\Corvane\\Pelora\\App";
}
int RecordingSteps::SetInstallFolder(const std::wstring& chosen, uint32_t requiredBytes, std::wstring& versionFolder,
                                     std::wstring& replacement) {
    Record(L"SetInstallFolder " + chosen + L"|" + std::to_wstring(requiredBytes), L"SetInstallFolder");
    replacement = folderReplacement;
    versionFolder = folderReplacement.empty() ? chosen : folderReplacement + L"\\1.14.301";
    return folderVerdict;
}
bool RecordingSteps::IsValidInstallPath(const std::wstring& path) {
    return Record(L"IsValidInstallPath " + path, L"IsValidInstallPath");
}
bool RecordingSteps::ExtractPayload(const wchar_t* type, int id, HINSTANCE, const std::wstring& stagingFolder,
                                    bool* diskLow, IExtractProgressCallback* callback) {
    Record(L"ExtractPayload " + std::wstring(type) + L" " + std::to_wstring(id) + L" " + stagingFolder, L"");
    if (duringExtract) duringExtract(callback);
    if (!extractSucceeds) *diskLow = diskLowOnFailure;
    return extractSucceeds;
}
std::wstring RecordingSteps::UpdateTempFolder() {
    return L"C:\\AppData\\Corvane\\Pelora\\AUTemp";
}
bool RecordingSteps::CopyOneFile(const std::wstring& source, const std::wstring& target) {
    return Record(L"CopyFile " + source + L" -> " + target, L"CopyFile");
}
void RecordingSteps::StartCrashMonitor(const std::wstring& reporter, const std::wstring& previous) {
    Record(L"StartCrashMonitor " + reporter + L"|" + previous, L"");
}
void RecordingSteps::ReportInstallerStart() { Record(L"ReportInstallerStart", L""); }
void RecordingSteps::ReportInstallerDone(uint32_t seconds) { Record(L"ReportInstallerDone " + std::to_wstring(seconds), L""); }
void RecordingSteps::ReportInstallerAbort() { Record(L"ReportInstallerAbort", L""); }
void RecordingSteps::ReportInstallerError(uint32_t code) { Record(L"ReportInstallerError " + std::to_wstring(code), L""); }
void RecordingSteps::ReportShutdown(uint32_t ms) { Record(L"ReportShutdown " + std::to_wstring(ms), L""); }
bool RecordingSteps::IsFolder(const std::wstring& path) {
    return folders.count(path) != 0;
}
void RecordingSteps::RemoveLeftovers() { Record(L"RemoveLeftovers", L""); }
std::vector<uint32_t> RecordingSteps::UninstallPrevious(const std::wstring& previous, const std::wstring& staging,
                                                       IPlProgressCallback*) {
    Record(L"UninstallPrevious " + previous + L"|" + staging, L"");
    return uninstallFailures;
}
uint32_t RecordingSteps::OsMajorVersion() { return osMajor; }
uint32_t RecordingSteps::OsVersionCode() { return osCode; }
bool RecordingSteps::IsProductFolder(const std::wstring& path) { return othersFolders.count(path) == 0; }
bool RecordingSteps::HoldsForeignData(const std::wstring& path) { return foreignFolders.count(path) != 0; }
bool RecordingSteps::DeleteFolderTree(const std::wstring& path) { return Record(L"DeleteFolderTree " + path, L"DeleteFolderTree"); }
int RecordingSteps::DeployFiles(const std::wstring& staging, IPlProgressCallback* progress, const std::wstring& versionFolder,
                                const std::wstring& manifest, std::wstring* lastFailedFile) {
    const bool ok = Record(L"DeployFiles " + staging + L"|" + versionFolder + L"|" + manifest, L"DeployFiles");
    if (duringDeploy) duringDeploy(progress);
    if (!ok) *lastFailedFile = failedFile;
    return ok ? 1 : 0;
}
int RecordingSteps::CopyPublicFileToInstallDir(const std::wstring& versionFolder, std::wstring* failedFile) {
    if (Record(L"CopyPublicFileToInstallDir " + versionFolder, L"CopyPublicFileToInstallDir")) return 1;
    *failedFile = publicFailedFile;
    return -1;
}
int RecordingSteps::RemoveFailedInstall() { return Record(L"RemoveFailedInstall", L"RemoveFailedInstall") ? 0 : 1; }
bool RecordingSteps::ResetUpdateState() { return Record(L"ResetUpdateState", L"ResetUpdateState"); }
bool RecordingSteps::CopySystemProfile(const std::wstring& staging) { return Record(L"CopySystemProfile " + staging, L"CopySystemProfile"); }
bool RecordingSteps::RemoveOldShortcuts() { return Record(L"RemoveOldShortcuts", L"RemoveOldShortcuts"); }
bool RecordingSteps::CreateDesktopShortcut(const std::wstring& launcher) {
    return Record(L"CreateDesktopShortcut " + launcher, L"CreateDesktopShortcut");
}
bool RecordingSteps::CreateQuickLaunchShortcut(const std::wstring& launcher, const std::wstring& pin) {
    return Record(L"CreateQuickLaunchShortcut " + launcher + L"|" + pin, L"CreateQuickLaunchShortcut");
}
bool RecordingSteps::CreateStartMenuShortcuts(const std::wstring& launcher, const std::wstring& uninstaller) {
    return Record(L"CreateStartMenuShortcuts " + launcher + L"|" + uninstaller, L"CreateStartMenuShortcuts");
}
void RecordingSteps::NotifyAssociationsChanged() { Record(L"NotifyAssociationsChanged", L""); }
bool RecordingSteps::RegisterWebComponent(const std::wstring& dll) { return Record(L"RegisterWebComponent " + dll, L"RegisterWebComponent"); }
void RecordingSteps::InitializeOle() { Record(L"InitializeOle", L""); }
void RecordingSteps::UninitializeOle() { Record(L"UninitializeOle", L""); }
bool RecordingSteps::LaunchSsoInstaller(const std::wstring& installer, const std::wstring& folder) {
    Record(L"LaunchSsoInstaller " + installer + L"|" + folder, L"");
    if (ssoFailures > 0) {
        --ssoFailures;
        return false;
    }
    return true;
}
bool RecordingSteps::CopyFolderTree(const std::wstring& source, const std::wstring& target, int budget) {
    return Record(L"CopyFolderTree " + source + L" -> " + target + L" " + std::to_wstring(budget), L"CopyFolderTree");
}
void RecordingSteps::Sleep(uint32_t ms) { Record(L"Sleep " + std::to_wstring(ms), L""); }
bool RecordingSteps::RegisterSharedService(const std::wstring& dll) { return Record(L"RegisterSharedService " + dll, L"RegisterSharedService"); }
bool RecordingSteps::WriteProductKey(const std::wstring& versionFolder, const std::wstring& channel, HKEY hive,
                                     const std::wstring& ltValue, bool isMachine) {
    const std::wstring hiveName = hive == HKEY_LOCAL_MACHINE ? L"HKLM" : hive == HKEY_CURRENT_USER ? L"HKCU" : L"?";
    return Record(L"WriteProductKey " + hiveName + L" " + versionFolder + L"|" + channel + L"|" + ltValue + L"|" +
                      (isMachine ? L"machine" : L"user"),
                  L"WriteProductKey " + hiveName);
}
bool RecordingSteps::MigrateUsersFolder(const std::wstring& previous, const std::wstring& staging, const std::wstring& version) {
    return Record(L"MigrateUsersFolder " + previous + L"|" + staging + L"|" + version, L"MigrateUsersFolder");
}
bool RecordingSteps::WriteProtocolInfo(const std::wstring& launcher) { return Record(L"WriteProtocolInfo " + launcher, L"WriteProtocolInfo"); }
void RecordingSteps::RemoveFirewallException(const std::wstring& exe, const std::wstring& name) {
    Record(L"RemoveFirewallException " + exe + L"|" + name, L"");
}
void RecordingSteps::AddFirewallException(const std::wstring& exe, const std::wstring& name) {
    Record(L"AddFirewallException " + exe + L"|" + name, L"");
}
void RecordingSteps::DeleteVersion(const std::wstring& version) { Record(L"DeleteVersion " + version, L""); }
bool RecordingSteps::LaunchAsUser(const std::wstring& arguments, const std::wstring& exe) {
    return Record(L"LaunchAsUser " + arguments + L"|" + exe, L"LaunchAsUser");
}
bool RecordingSteps::WriteRunEntry(const std::wstring& commandLine) { return Record(L"WriteRunEntry " + commandLine, L"WriteRunEntry"); }
int64_t RecordingSteps::Now() { return now; }
