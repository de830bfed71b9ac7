#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "diag/win_handle.h"

// The few native file calls that work on an open folder rather than on a path: opening a name
// inside a folder handle, listing a folder through its handle, and deleting through a handle.
// Whatever is renamed or linked around an open handle, these reach the object it holds.
namespace files {

// One object on disk: its volume and its file index. Two handles with the same identity hold the
// same file or folder, however their paths were spelled.
struct FileIdentity {
    DWORD volume = 0;
    uint64_t index = 0;
    bool IsKnown() const { return volume != 0 || index != 0; }
    bool operator==(const FileIdentity& other) const { return volume == other.volume && index == other.index; }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

struct FolderEntry {
    std::wstring name;
    DWORD attributes = 0;
    uint64_t id = 0;  // the file index as the folder lists it; 0 when the file system gives none
    bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    bool IsLink() const { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
};

// Access wanted of an opened object, and whether others may rename or delete it meanwhile.
enum class Sharing { kAll, kNoDelete };

// Opens the folder or file `name` (one component, no separator) inside the folder held by
// `parent`, without following a link on the systems that can open one as itself. `status` gets
// the native result.
diag::ScopedHandle OpenInFolder(HANDLE parent, const std::wstring& name, DWORD access, Sharing sharing,
                                long* status = nullptr);

// Opens a full path as it is (a link as itself where the system can), for reading attributes and
// identity; folders too.
diag::ScopedHandle OpenForIdentity(const std::wstring& path, DWORD access = FILE_READ_ATTRIBUTES,
                                   Sharing sharing = Sharing::kAll);

// The identity and attributes of what `handle` holds.
bool QueryIdentity(HANDLE handle, FileIdentity& identity, DWORD* attributes = nullptr);

// Every entry of the folder held by `folder`, "." and ".." left out. False when the listing fails.
bool ListFolder(HANDLE folder, std::vector<FolderEntry>& entries);

// Clears the read-only attribute of what `handle` holds (opened with FILE_WRITE_ATTRIBUTES).
bool ClearReadOnly(HANDLE handle, DWORD attributes);

// Marks what `handle` holds (opened with DELETE) to be deleted when the handle closes: the very
// object that was opened, wherever its name has gone since. `error` gets the Win32 error.
bool MarkForDeletion(HANDLE handle, DWORD* error = nullptr);

}  // namespace files
