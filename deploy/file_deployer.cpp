#include "deploy/file_deployer.h"

#include <windows.h>

#include <cstdio>
#include <map>
#include <vector>

#include <tinyxml.h>

#include "common/progress_callbacks.h"
#include "deploy/deploy_constants.h"
#include "deploy/file_system.h"
#include "deploy/files/held_folder.h"
#include "deploy/files/tree_deletion.h"
#include "deploy/install_footprint.h"
#include "deploy/install_manifest.h"
#include "deploy/install_paths.h"
#include "deploy/locked_file_copy.h"
#include "deploy/product_folder.h"
#include "deploy/product_registry.h"
#include "diag/ansi_text.h"
#include "diag/install_log.h"
#include "diag/windows_version.h"

namespace {

// Folders one copy run enters at most, the root included.
constexpr int kCopyFolderBudget = 500;
// What a file's name may grow by while it is replaced: "{name}.rename" (side names "{name}~{n}"
// are shorter).
constexpr size_t kLongestSideSuffix = sizeof(deploy::kRenameSuffix) / sizeof(wchar_t) - 1;

// Joins like the manifest walk always has: one backslash unless the folder ends in one.
std::wstring UpperCase(std::wstring text) {
    if (!text.empty()) CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::wstring ChildPath(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && folder.back() == L'\\') return folder + name;
    return folder + L"\\" + name;
}

std::wstring ManifestPathIn(const std::wstring& folder) {
    return folder.empty() ? std::wstring() : JoinPath(folder, deploy::kManifestFileName);
}

// Removes a manifest left from before, so that the scan describes the tree as it is now.
// False when a manifest is still in place afterwards.
bool ClearOldManifest(const std::wstring& path) {
    if (FileExists(path)) DeleteFileW(path.c_str());
    return !FileExists(path);
}

}  // namespace

FileDeployer::FileDeployer(const std::wstring& stagingFolder, IPlProgressCallback* progress)
    : m_pProgress(progress) {
    std::wstring staging = stagingFolder.empty() ? CreateStagingFolder() : stagingFolder;
    m_strSourceRoot = staging + deploy::kStagedTreeRelative;
    m_strOldInstallFolder = ReadInstallFolder();
    m_strOldManifestPath = ManifestPathIn(m_strOldInstallFolder);
    m_strTargetRoot = m_strOldInstallFolder;
    m_strManifestPath = JoinPath(m_strSourceRoot, deploy::kManifestFileName);
}

int FileDeployer::WriteManifest(bool forNewInstall) {
    const std::wstring& rootPath = forNewInstall ? m_strSourceRoot : m_strOldInstallFolder;
    const std::wstring& target = forNewInstall ? m_strManifestPath : m_strOldManifestPath;
    const std::wstring lastComponent = LastComponent(rootPath);
    if (!forNewInstall && lastComponent.empty()) return 1;
    // The root's own name is informative only; a lossy conversion hides no file.
    std::string rootName;
    diag::WideToAnsiExact(lastComponent, rootName);

    TiXmlDocument document;
    document.InsertEndChild(TiXmlDeclaration("", "", ""));
    TiXmlElement* root = document.InsertEndChild(
        MakeManifestElement(deploy::kManifestFolderElement, rootName, 0))->ToElement();

    int budget = kManifestEntryBudget;
    ManifestScanGaps gaps;
    uint64_t total = ScanFolder(budget, rootPath, *root, gaps);
    (forNewInstall ? m_nTotalBytes : m_nOldTotalBytes) = total;
    SetManifestSize(*root, total);

    if (!gaps.firstOverBudget.empty())
        InstallLog::Format(deploy::kLogScanBudgetExhausted, kManifestEntryBudget,
                           gaps.firstOverBudget.c_str());
    if (!gaps.firstUnrepresentable.empty())
        InstallLog::Format(deploy::kLogNameNotAnsi, gaps.firstUnrepresentable.c_str());
    if (forNewInstall && !gaps.IsComplete()) {
        // Entries missing from the manifest would silently be missing from the install.
        m_strLastFailedFile = !gaps.firstOverBudget.empty() ? gaps.firstOverBudget
                                                             : gaps.firstUnrepresentable;
        return 0;
    }
    if (!gaps.IsComplete()) InstallLog::Format(deploy::kLogRemovalIncomplete, rootPath.c_str());
    if (forNewInstall && !FitsTarget(gaps.longestPath)) return 0;

    if (!SaveManifest(document, target)) {
        InstallLog::Format(deploy::kLogWriteManifestFailed, target.c_str());
        if (forNewInstall) m_strLastFailedFile = target;
        return 0;
    }
    return 1;
}

bool FileDeployer::FitsTarget(const std::wstring& longestStagedPath) {
    // Every path below the target, the manifest's and each file's side name for a replaced file
    // among them, must stay below MAX_PATH: a longer one cannot be written, or would be cut.
    std::wstring deepest = deploy::kManifestFileName;
    if (longestStagedPath.size() > m_strSourceRoot.size() + 1 &&
        longestStagedPath.size() - m_strSourceRoot.size() - 1 > deepest.size()) {
        deepest = longestStagedPath.substr(m_strSourceRoot.size() + 1);
    }
    const std::wstring target = ChildPath(m_strTargetRoot, deepest);
    if (target.size() + kLongestSideSuffix < MAX_PATH) return true;
    InstallLog::Format(deploy::kLogTargetTooDeep, m_strTargetRoot.c_str(), static_cast<int>(target.size()),
                       target.c_str());
    m_strLastFailedFile = target;
    return false;
}

int FileDeployer::Install() {
    m_strLastFailedFile.clear();
    if (ClearOldManifest(m_strManifestPath)) {
        if (m_pFootprint) m_pFootprint->CreateEmptyFile(m_strManifestPath);
        else CreateEmptyFile(m_strManifestPath);
        if (!WriteManifest(true)) return 0;
    }
    TiXmlDocument document;
    if (!LoadManifest(document, m_strManifestPath)) {
        InstallLog::Format(deploy::kLogLoadManifestFailed, m_strManifestPath.c_str());
        if (m_strLastFailedFile.empty()) m_strLastFailedFile = m_strManifestPath;
        return 0;
    }
    if (!m_strTargetRoot.empty()) CreateTargetFolders(m_strTargetRoot);
    int budget = kCopyFolderBudget;
    if (!CopyByManifest(m_strSourceRoot, m_strTargetRoot, *document.RootElement(), budget))
        return 0;
    InstallLog::Format(deploy::kLogInstallResult, 1);
    return 1;
}

int FileDeployer::CopyByManifest(const std::wstring& source, const std::wstring& target,
                                 const TiXmlElement& element, int& budget) {
    // Skipping the rest of the tree would report an incomplete install as complete.
    if (budget < 1) {
        InstallLog::Format(deploy::kLogCopyBudgetExhausted, kCopyFolderBudget, target.c_str());
        m_strLastFailedFile = target;
        return 0;
    }
    --budget;
    for (const TiXmlElement* child = element.FirstChildElement(); child != nullptr;
         child = child->NextSiblingElement()) {
        std::wstring name;
        if (!ReadManifestName(*child, name)) continue;
        const std::wstring from = ChildPath(source, name);
        const std::wstring to = ChildPath(target, name);
        if (IsFolderElement(*child)) {
            CreateTargetFolders(to);
            if (!CopyByManifest(from, to, *child, budget)) {
                InstallLog::Format(deploy::kLogInstallFolderFailed, from.c_str());
                return 0;
            }
            continue;
        }
        CreateTargetFolders(target);
        if (!CopyTargetFile(from, to)) {
            m_strLastFailedFile = to;
            return 0;
        }
        m_nBytesCopied += static_cast<uint64_t>(ReadManifestSize(*child));
        ReportProgress();
    }
    return 1;
}

void FileDeployer::CreateTargetFolders(const std::wstring& path) {
    if (m_pFootprint) m_pFootprint->CreateFolders(path);
    else CreateFolderPath(path);
}

bool FileDeployer::CopyTargetFile(const std::wstring& source, const std::wstring& target) {
    return m_pFootprint ? m_pFootprint->CopyFileOver(source, target) : CopyLockedFile(source, target);
}

void FileDeployer::ReportProgress() {
    if (m_pProgress == nullptr || m_nTotalBytes == 0) return;
    m_pProgress->OnProgress(static_cast<float>(static_cast<double>(m_nBytesCopied) /
                                               static_cast<double>(m_nTotalBytes)));
}

int FileDeployer::RemovePrevious() {
    if (!FileOrFolderExists(m_strOldInstallFolder)) return 1;
    // The product key may name any folder; only the product's own, with no link on its way, is
    // emptied.
    if (!RefuseLinkOnPath(m_strOldInstallFolder) || !IsProductFolder(m_strOldInstallFolder)) {
        InstallLog::Format(deploy::kLogForeignPreviousFolder, m_strOldInstallFolder.c_str());
        return 1;
    }
    if (ClearOldManifest(m_strOldManifestPath)) {
        CreateEmptyFile(m_strOldManifestPath);
        WriteManifest(false);
    }
    TiXmlDocument document;
    if (!LoadManifest(document, m_strOldManifestPath)) {
        InstallLog::Format(deploy::kLogLoadManifestFailed, m_strOldManifestPath.c_str());
        return FileExists(m_strOldManifestPath) ? 0 : 1;
    }
    if (m_nOldTotalBytes == 0)
        m_nOldTotalBytes = static_cast<uint64_t>(ReadManifestSize(*document.RootElement()));
    {
        // Held from the check to the last deletion: nobody can rename the folder or put a link in
        // its place while the manifest's entries go.
        files::HeldFolder folder = files::HeldFolder::Open(m_strOldInstallFolder, m_strOldInstallFolder);
        if (!folder.IsValid()) {
            folder.LogRefusal(m_strOldInstallFolder);
            return 1;
        }
        RemoveByManifest(folder, *document.RootElement());
    }
    if (IsVistaOrLater() && HoldsOnlyManifest(m_strOldInstallFolder, deploy::kManifestFileName))
        DeleteFolderTree(m_strOldInstallFolder);
    return 1;
}

int FileDeployer::RemoveByManifest(const files::HeldFolder& folder, const TiXmlElement& element) {
    // Listed once: every entry is then deleted through a handle checked against this listing.
    std::map<std::wstring, files::FolderEntry> listed;
    std::vector<files::FolderEntry> entries;
    if (files::ListFolder(folder.Handle(), entries)) {
        for (files::FolderEntry& entry : entries) listed[UpperCase(entry.name)] = std::move(entry);
    }
    for (const TiXmlElement* child = element.FirstChildElement(); child != nullptr;
         child = child->NextSiblingElement()) {
        std::wstring name;
        if (!ReadManifestName(*child, name)) continue;
        const std::wstring path = ChildPath(folder.Path(), name);
        const auto found = listed.find(UpperCase(name));
        const bool present = found != listed.end();
        const files::FolderEntry entry = present ? found->second : files::FolderEntry();
        if (IsFolderElement(*child)) {
            // A manifest kept from before may name a folder that is a link now: never entered.
            if (!present || entry.IsLink() || !entry.IsFolder()) continue;
            // Below Vista the users' data lives in the install folder and outlives the product.
            if (!IsVistaOrLater() && name == deploy::kUsersFolderName) continue;
            files::HeldFolder subfolder = folder.OpenChild(entry, true);
            if (!subfolder.IsValid()) {
                subfolder.LogRefusal(path);
                continue;
            }
            RemoveByManifest(subfolder, *child);
            if (HoldsOnlyManifest(path, deploy::kManifestFileName) && !files::DeleteHeldTree(subfolder))
                InstallLog::Format(deploy::kLogDeleteFolderFailed, path.c_str());
            continue;
        }
        // The manifest marks the folder as the product's while the rest goes; it goes last, with
        // the folder, when nothing else is left.
        if (lstrcmpiW(path.c_str(), m_strOldManifestPath.c_str()) == 0) continue;
        if (!present || (!entry.IsFolder() && files::DeleteEntry(folder, entry))) {
            m_nBytesRemoved += static_cast<uint64_t>(ReadManifestSize(*child));
            continue;
        }
        if (entry.IsFolder()) continue;
        // In use: renamed out of the way inside the held folder, so that the new file can take
        // its name.
        std::wstring side = path + deploy::kRenameSuffix;
        files::FolderEntry sideEntry;
        if (folder.FindEntry(name + deploy::kRenameSuffix, sideEntry) && !sideEntry.IsFolder())
            files::DeleteEntry(folder, sideEntry);
        if (_wrename(path.c_str(), side.c_str()) != 0)
            InstallLog::Format(deploy::kLogRenameFailed, path.c_str());
    }
    return 1;
}
