#pragma once

#include <string>

// The key-press service's library where only the system and administrators can write. The
// service runs as LocalSystem, so it never loads the product root's VTService.dll, which every
// program of the user can replace: the setup copies that file into the admin-only folder
// (admin_only_folder.h) and registers the copy only when its bytes are the archive's own.

// "<Program Files>\PeloraService", Program Files of the setup's own architecture; empty, logged,
// when the system names no such folder.
std::wstring ServiceLibraryFolder();

// Makes `folder` admin-only (OpenAdminOnlyFolder) and copies `source` into it with
// CopyServiceLibrary, holding the folder meanwhile. The path of the copy; empty, logged, when
// there is no expected digest (then nothing is made), the folder is refused or the copy fails.
std::wstring ProvideServiceLibrary(const std::wstring& folder, const std::wstring& source,
                                   const std::wstring& expectedSha256);

// Copies `source` into `folder`, which the caller holds admin-only, as VTService.dll: first under
// a side name of its own, whose SHA-256, read through a handle that keeps writers out, must be
// `expectedSha256`; then moved over the library an earlier install left there (one still loaded by
// a running service host leaves its name and is deleted at the next start). The path of the copy;
// empty, with a log line naming the file and the reason, when there is no expected digest, a link
// lies on the source's way, or the copy cannot be written, differs or cannot be put in place.
// Nothing of a refused copy is left in the folder, and the library there before stays then.
std::wstring CopyServiceLibrary(const std::wstring& folder, const std::wstring& source,
                                const std::wstring& expectedSha256);

// The uninstaller's part: deletes VTService.dll and the side names the product leaves of it from
// `folder` (one in use is renamed and deleted at the next start), then the folder when it is empty,
// or at the next start when only such files keep it. Whatever else the folder holds stays, and
// the folder with it (logged). True when nothing of the library is left now or after the next
// start, and when there is no folder; false, logged, when the folder cannot be held or a file of
// the library stays.
bool RemoveServiceLibrary(const std::wstring& folder);
