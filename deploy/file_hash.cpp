#include "deploy/file_hash.h"

#include <vector>

#include "deploy/registration_removal_constants.h"
#include "diag/install_log.h"
#include "diag/sha256.h"
#include "diag/win_handle.h"

namespace {

constexpr DWORD kReadChunkBytes = 64 * 1024;

std::wstring Failed(const wchar_t* call, const std::wstring& name) {
    InstallLog::Format(deploy::kLogHashFailed, name.c_str(), call, GetLastError());
    return std::wstring();
}

}  // namespace

std::wstring Sha256OfOpenFile(HANDLE file, const std::wstring& name) {
    diag::Sha256 hash;
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return Failed(L"SetFilePointerEx", name);
    std::vector<BYTE> chunk(kReadChunkBytes);
    while (hash.IsUsable()) {
        DWORD read = 0;
        if (!ReadFile(file, chunk.data(), kReadChunkBytes, &read, nullptr)) return Failed(L"ReadFile", name);
        if (read == 0) break;
        hash.Add(chunk.data(), read);
    }
    const std::wstring digest = hash.Finish();
    if (digest.empty()) return Failed(hash.FailedCall(), name);
    return digest;
}

std::wstring Sha256OfFile(const std::wstring& path) {
    diag::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsValid()) return Failed(L"CreateFileW", path);
    return Sha256OfOpenFile(file.Get(), path);
}
