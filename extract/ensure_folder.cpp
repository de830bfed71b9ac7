#include <windows.h>

#include "extract/entry_path.h"
#include "extract/payload_extractor.h"

bool EnsureFolder(const std::wstring& folder) {
    if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    if (folder.find_first_of(L"/\\") == std::wstring::npos) {
        // No separator left: a drive name such as "C:", usable when that drive exists.
        const std::wstring root = folder + L"/";
        const UINT type = GetDriveTypeW(root.c_str());
        return type != DRIVE_UNKNOWN && type != DRIVE_NO_ROOT_DIR;
    }
    if (!EnsureFolder(extract::ParentFolder(folder))) return false;
    if (CreateDirectoryW(folder.c_str(), nullptr)) return true;
    // Two blocks are extracted at once: the other one may just have made the same folder.
    return GetLastError() == ERROR_ALREADY_EXISTS &&
           GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
}
