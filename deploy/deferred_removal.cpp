#include "deploy/deferred_removal.h"

#include <windows.h>

#include <cwctype>

#include "deploy/deploy_constants.h"
#include "deploy/files/tree_deletion.h"
#include "deploy/install_paths.h"
#include "deploy/removal_constants.h"
#include "diag/install_log.h"

// The system's random source (RtlGenRandom), exported by advapi32 under this name since XP.
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);

namespace {

constexpr int kSideDigits = 16;

bool SameNameIgnoringCase(const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) == 0; }

}  // namespace

std::wstring UniqueSideName(const std::wstring& name) {
    unsigned char random[kSideDigits / 2] = {};
    if (!SystemFunction036(random, sizeof(random))) {
        // Without the random source the time and the process still make a name nobody chose.
        LARGE_INTEGER counter;
        QueryPerformanceCounter(&counter);
        const unsigned long long mixed = counter.QuadPart ^ (static_cast<unsigned long long>(GetCurrentProcessId()) << 40);
        for (size_t i = 0; i < sizeof(random); ++i) random[i] = static_cast<unsigned char>(mixed >> (8 * i));
    }
    static const wchar_t kHex[] = L"0123456789abcdef";
    std::wstring side = name + L"~";
    for (unsigned char byte : random) {
        side += kHex[byte >> 4];
        side += kHex[byte & 15];
    }
    return side;
}

bool IsSideNameOf(const std::wstring& candidate, const std::wstring& name) {
    if (candidate.size() <= name.size() + 1 || !SameNameIgnoringCase(candidate.substr(0, name.size()), name))
        return false;
    const std::wstring rest = candidate.substr(name.size());
    if (SameNameIgnoringCase(rest, deploy::kRenameSuffix)) return true;
    if (rest[0] != L'~') return false;
    for (size_t i = 1; i < rest.size(); ++i) {
        if (!iswxdigit(rest[i])) return false;
    }
    return true;
}

RemovalOutcome DeleteOrDefer(const files::HeldFolder& folder, const files::FolderEntry& entry,
                             std::wstring* onDisk) {
    const std::wstring path = JoinPath(folder.Path(), entry.name);
    if (files::DeleteEntry(folder, entry)) return RemovalOutcome::kRemoved;
    // In use: out of its name first, so that a new install can write the name before the next
    // start. The folder is held, so the rename happens inside the folder that was checked.
    const std::wstring side = JoinPath(folder.Path(), UniqueSideName(entry.name));
    if (!MoveFileW(path.c_str(), side.c_str())) {
        InstallLog::Format(deploy::kLogUninstallNotRemoved, path.c_str(), static_cast<unsigned>(GetLastError()));
        if (onDisk) *onDisk = path;
        return RemovalOutcome::kLeft;
    }
    if (onDisk) *onDisk = side;
    if (MoveFileExW(side.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        InstallLog::Format(deploy::kLogUninstallDeferred, side.c_str());
        return RemovalOutcome::kDeferred;
    }
    InstallLog::Format(deploy::kLogUninstallNotScheduled, side.c_str(), static_cast<unsigned>(GetLastError()));
    return RemovalOutcome::kLeft;
}
