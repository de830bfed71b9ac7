#pragma once

#include <cstdint>
#include <string>

namespace files {
class HeldFolder;
}

class IPlProgressCallback;
class InstallFootprint;
class TiXmlElement;

// Copies the staged product tree into the version folder in the order of an install manifest
// that it writes first ({version folder}\PeloraInstall.xml), and removes a previous install by
// the same mechanism. One deployer serves one Install or one RemovePrevious; it lives on the
// caller's stack and runs on the engine's worker thread.
class FileDeployer {
public:
    // An empty `stagingFolder` makes a new one. The previous install folder is read from the
    // product key; the target defaults to it until SetTargetRoot.
    FileDeployer(const std::wstring& stagingFolder, IPlProgressCallback* progress);

    void SetTargetRoot(const std::wstring& folder) { m_strTargetRoot = folder; }
    void SetManifestPath(const std::wstring& path) { m_strManifestPath = path; }
    void SetOldInstallFolder(const std::wstring& folder) { m_strOldInstallFolder = folder; }
    void SetOldManifestPath(const std::wstring& path) { m_strOldManifestPath = path; }
    // Notes what Install writes (the manifest, the files, the folders it makes) in `footprint`, so
    // that a failed install can be taken back. Not owned; may be null.
    void SetFootprint(InstallFootprint* footprint) { m_pFootprint = footprint; }

    const std::wstring& SourceRoot() const { return m_strSourceRoot; }
    const std::wstring& TargetRoot() const { return m_strTargetRoot; }
    const std::wstring& ManifestPath() const { return m_strManifestPath; }
    const std::wstring& OldInstallFolder() const { return m_strOldInstallFolder; }
    const std::wstring& OldManifestPath() const { return m_strOldManifestPath; }
    // The path that made the last Install fail: a target file that could not be written, an
    // entry the manifest could not list, or the manifest itself. Empty after a success.
    std::wstring LastFailedFile() const { return m_strLastFailedFile; }

    // 1 when every staged file is in the version folder; 0 when the manifest could not be written
    // completely or loaded, or a file or folder could not be installed (see LastFailedFile).
    int Install();
    // Deletes what the old install folder holds now (its manifest is rebuilt from the disk first).
    // 1 normally, 0 when the rebuilt manifest exists but cannot be loaded.
    int RemovePrevious();
    // Scans the staged tree (true) or the old install folder (false) and saves its manifest.
    // 0 when the file cannot be saved or, for a new install, when the manifest would leave
    // entries out.
    int WriteManifest(bool forNewInstall);

    uint64_t BytesCopied() const { return m_nBytesCopied; }
    uint64_t TotalBytes() const { return m_nTotalBytes; }
    uint64_t BytesRemoved() const { return m_nBytesRemoved; }
    uint64_t OldTotalBytes() const { return m_nOldTotalBytes; }

private:
    int CopyByManifest(const std::wstring& source, const std::wstring& target,
                       const TiXmlElement& element, int& budget);
    int RemoveByManifest(const files::HeldFolder& folder, const TiXmlElement& element);
    void ReportProgress();
    // False (logged, LastFailedFile set) when the deepest staged path would not fit below the target.
    bool FitsTarget(const std::wstring& longestStagedPath);
    void CreateTargetFolders(const std::wstring& path);
    bool CopyTargetFile(const std::wstring& source, const std::wstring& target);

    uint64_t m_nBytesCopied = 0;
    uint64_t m_nTotalBytes = 0;
    uint64_t m_nBytesRemoved = 0;
    uint64_t m_nOldTotalBytes = 0;
    std::wstring m_strSourceRoot;
    std::wstring m_strTargetRoot;
    std::wstring m_strOldInstallFolder;
    std::wstring m_strManifestPath;
    std::wstring m_strOldManifestPath;
    std::wstring m_strLastFailedFile;
    IPlProgressCallback* m_pProgress;  // not owned; may be null
    InstallFootprint* m_pFootprint = nullptr;
};
