#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace diag {

// One module loaded in a process, as the crash and hang reports list it.
struct LoadedModule {
    uintptr_t base = 0;
    uint32_t size = 0;
    std::wstring path;
};

// The modules loaded in process `processId` (this process or another of the same architecture),
// in load order; empty when the process cannot be examined.
std::vector<LoadedModule> ListProcessModules(DWORD processId);

// The module of `modules` that holds `address`, or nullptr.
const LoadedModule* FindModuleOf(const std::vector<LoadedModule>& modules, uintptr_t address);

// The file version of `path` as "major.minor.build.revision"; empty when the file has none.
std::wstring FileVersionText(const std::wstring& path);

// The link time a PE image carries in its file header, as ",YYYY-MM-DD hh:mm:ss GMT"; `readImage`
// reads bytes of the loaded image (in this process or another). Empty when the header is unreadable.
template <typename ReadImage>
std::wstring LinkTimeText(uintptr_t base, ReadImage readImage);

// The link-time seconds since 1970 (UTC) formatted as above.
std::wstring FormatLinkTime(uint32_t secondsSince1970);

template <typename ReadImage>
std::wstring LinkTimeText(uintptr_t base, ReadImage readImage) {
    IMAGE_DOS_HEADER dos = {};
    if (!readImage(base, &dos, sizeof(dos)) || dos.e_magic != IMAGE_DOS_SIGNATURE) return std::wstring();
    if (dos.e_lfanew <= 0 || dos.e_lfanew > 0x10000) return std::wstring();
    DWORD signature = 0;
    IMAGE_FILE_HEADER header = {};
    const uintptr_t ntHeaders = base + static_cast<uintptr_t>(dos.e_lfanew);
    if (!readImage(ntHeaders, &signature, sizeof(signature)) || signature != IMAGE_NT_SIGNATURE)
        return std::wstring();
    if (!readImage(ntHeaders + sizeof(signature), &header, sizeof(header))) return std::wstring();
    return FormatLinkTime(header.TimeDateStamp);
}

}  // namespace diag
