// The drive checks of install_paths.h: path validity, drive type and free space.
#include <shlwapi.h>

#include <vector>

#include "deploy/deploy_constants.h"
#include "deploy/install_paths.h"
#include "diag/text_format.h"
#include "diag/install_log.h"

namespace {

// The root of `path` as PathStripToRootW leaves it; false when the path has none or is too long
// for the 260-character buffer the check works in.
bool RootOf(const std::wstring& path, std::wstring& root) {
    if (path.empty() || path.size() >= MAX_PATH) return false;
    wchar_t buffer[MAX_PATH] = {};
    path.copy(buffer, path.size());
    if (!PathStripToRootW(buffer)) return false;
    root = buffer;
    return true;
}

bool IsValidNamePiece(const std::wstring& piece) {
    // "." and ".." (and names of dots and blanks only, which Windows trims to those or to
    // nothing) name another folder than the one written: "C:\." is the drive's root.
    if (piece.find_first_not_of(L". ") == std::wstring::npos) return false;
    for (wchar_t c : piece) {
        // A colon after the root would name a stream of a file, not a folder.
        if (c < 32 || wcschr(L"\"*/:<>?\\|", c) != nullptr) return false;
    }
    return true;
}

}  // namespace

bool IsValidInstallPath(const std::wstring& path) {
    std::wstring root;
    if (!RootOf(path, root)) return false;
    // Only a drive-letter root "X:\" names a place: "\dir" and "X:dir" depend on the current
    // folder of the moment, and UNC roots are network drives anyway.
    if (root.size() != 3 || root[1] != L':' || root[2] != L'\\') return false;
    if (GetDriveTypeW(root.c_str()) != DRIVE_FIXED) return false;
    std::wstring rest = path.substr(root.size());
    // One trailing backslash names the same folder ("D:\Apps\" is "D:\Apps").
    if (!rest.empty() && rest.back() == L'\\') rest.pop_back();
    // A bare root has no folder of its own to install into.
    if (rest.empty()) return false;
    size_t start = 0;
    for (;;) {
        size_t slash = rest.find(L'\\', start);
        std::wstring piece = rest.substr(start, slash == std::wstring::npos ? std::wstring::npos
                                                                            : slash - start);
        if (!IsValidNamePiece(piece)) return false;
        if (slash == std::wstring::npos) return true;
        start = slash + 1;
    }
}

UINT DriveTypeOf(const std::wstring& path) {
    std::wstring root;
    if (!RootOf(path, root)) return 0;
    InstallLog::Format(deploy::kLogDrive, root.c_str());
    if (root.empty()) return 0;
    if (root.back() != L'\\') root += L'\\';
    InstallLog::Format(deploy::kLogTempDrive, root.c_str());
    return GetDriveTypeW(root.c_str());
}

std::wstring FormatFreeSpace(uint64_t bytes) {
    const uint32_t high = static_cast<uint32_t>(bytes >> 32);
    const uint32_t low = static_cast<uint32_t>(bytes);
    const uint32_t oneGiB = 1u << 30;
    if (high != 0 || low > oneGiB) {
        return FormatText(L"%.1f%s", high * 4.0 + static_cast<double>(low) / oneGiB, L"G");
    }
    if (low < 512) return FormatText(L"%d%s", 0, L"M");
    return FormatText(L"%.1f%s", static_cast<double>(low) / (1u << 20), L"M");
}

std::wstring FreeSpace(const std::wstring& path, uint64_t& freeBytes) {
    freeBytes = 0;
    ULARGE_INTEGER available = {}, total = {}, totalFree = {};
    if (!GetDiskFreeSpaceExW(path.c_str(), &available, &total, &totalFree)) {
        InstallLog::Format(deploy::kLogFreeSpaceFailed, path.c_str(), GetLastError());
        return std::wstring();
    }
    std::wstring text = FormatFreeSpace(totalFree.QuadPart);
    freeBytes = totalFree.QuadPart;
    InstallLog::Format(deploy::kLogFreeSpace, text.c_str());
    return text;
}
