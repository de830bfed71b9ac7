#pragma once

#include <windows.h>

#include <string>

#include "diag/win_handle.h"

// A program or library that the setup or the uninstaller, elevated, is about to load or start
// from a folder that other programs of the user can change. It is run only when it is the
// product's own: its bytes have the digest recorded for the product's copy (taken from the setup's
// own archive, or recorded below HKEY_LOCAL_MACHINE by the install), no link lies on its way, and
// it is held open so that nobody can write, delete or rename it between the check and its start.

namespace deploy {

inline constexpr wchar_t kLogCodeRefused[] = L"[setup]%s is not run: %s\n";
inline constexpr wchar_t kLogCodeRefusedError[] = L"[setup]%s is not run: %s, error %lu\n";
inline constexpr wchar_t kReasonNoDigest[] = L"no digest of the product's copy is known";
inline constexpr wchar_t kReasonLinkOnPath[] = L"a link lies on its path";
inline constexpr wchar_t kReasonCannotHold[] = L"it cannot be held against changes";
inline constexpr wchar_t kReasonNotAFile[] = L"it is not a plain file";
inline constexpr wchar_t kReasonCannotHash[] = L"its bytes cannot be read";
inline constexpr wchar_t kReasonForeign[] = L"its bytes are not the product's";

}  // namespace deploy

class VerifiedCode {
public:
    VerifiedCode() = default;
    VerifiedCode(VerifiedCode&&) = default;
    VerifiedCode& operator=(VerifiedCode&&) = default;

    // Holds `path` (others may read and run it, not write, delete or rename it) and compares its
    // SHA-256 with `expectedSha256`. An empty object when there is no expected digest, a link on
    // the way, the file cannot be held or read, or the digests differ: the log names the file and
    // the reason.
    static VerifiedCode Check(const std::wstring& path, const std::wstring& expectedSha256);

    bool IsValid() const { return m_file.IsValid(); }
    // Lets the file go; done by the destructor too.
    void Release() { m_file.Reset(); }

private:
    diag::ScopedHandle m_file;
};

// The flags for loading a checked library by its full path: its own imports come from the system
// folder only, where Windows can restrict the search (LOAD_LIBRARY_SEARCH_SYSTEM32, Windows 8, or
// Windows 7 and Vista with the loader update); 0 elsewhere, never a search of the library's own,
// user-writable folder.
DWORD SystemOnlyLoadFlags();
