#include "diag/app_data_folder.h"

#include <windows.h>
#include <shlobj.h>

namespace diag {

std::wstring AppDataFolder(bool create) {
    wchar_t buffer[MAX_PATH + 1] = {};
    if (!SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_APPDATA, create ? TRUE : FALSE)) {
        return std::wstring();
    }
    buffer[MAX_PATH] = L'\0';
    std::wstring folder = buffer;
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder;
}

}  // namespace diag
