#include "deploy/verified_code.h"

#include <cwctype>

#include "deploy/file_hash.h"
#include "deploy/file_system.h"
#include "diag/install_log.h"

namespace {

VerifiedCode Refused(const std::wstring& path, const wchar_t* reason) {
    InstallLog::Format(deploy::kLogCodeRefused, path.c_str(), reason);
    return VerifiedCode();
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

}  // namespace

VerifiedCode VerifiedCode::Check(const std::wstring& path, const std::wstring& expectedSha256) {
    if (expectedSha256.empty()) return Refused(path, deploy::kReasonNoDigest);
    if (!RefuseLinkOnPath(path)) return Refused(path, deploy::kReasonLinkOnPath);
    // Read and run only: a writer, a deletion or a rename (which needs delete access) is refused
    // while the handle is open. The loader and CreateProcess open the file for reading and running,
    // which this allows.
    VerifiedCode held;
    held.m_file.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!held.m_file.IsValid()) {
        InstallLog::Format(deploy::kLogCodeRefusedError, path.c_str(), deploy::kReasonCannotHold, GetLastError());
        return VerifiedCode();
    }
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(held.m_file.Get(), &information) ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return Refused(path, deploy::kReasonNotAFile);
    }
    const std::wstring digest = Sha256OfOpenFile(held.m_file.Get(), path);
    if (digest.empty()) return Refused(path, deploy::kReasonCannotHash);
    if (digest != Lower(expectedSha256)) return Refused(path, deploy::kReasonForeign);
    return held;
}

DWORD SystemOnlyLoadFlags() {
    // The restricted search came with AddDllDirectory; a loader without it rejects the flag.
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const bool restrictable = kernel && GetProcAddress(kernel, "AddDllDirectory");
    return restrictable ? LOAD_LIBRARY_SEARCH_SYSTEM32 : 0;
}
