#pragma once

#include <string>

#include "deploy/files/held_folder.h"

// Deleting a file that may be in use. A file that cannot be deleted now is renamed, inside its
// own held folder, to a side name nobody can have chosen before ("{name}~" and sixteen random
// hexadecimal digits), and only that side name is handed to the system's list of deletions at the
// next start: a new install that writes the original name meanwhile loses nothing, and a link put
// in the folder's place before the next start cannot lead the system to anybody's file.

enum class RemovalOutcome { kRemoved, kDeferred, kLeft };

// A fresh side name for `name`: "{name}~" and sixteen random hexadecimal digits.
std::wstring UniqueSideName(const std::wstring& name);

// True when `candidate` is a side name the product gives `name`: "{name}~" followed by digits or
// hexadecimal digits only, or "{name}.rename" (letter case ignored).
bool IsSideNameOf(const std::wstring& candidate, const std::wstring& name);

// Deletes the file `entry` of `folder` through its handle (read-only or not). When it is in use it
// is renamed to a UniqueSideName and that name is scheduled for deletion at the next start
// (kDeferred). kLeft (logged, naming the file) when it could be neither deleted nor renamed, or
// when the next-start list cannot be written (a standard user). `onDisk` gets the path that is on
// disk now when the file is not gone: the side name once the rename worked, else its own path.
RemovalOutcome DeleteOrDefer(const files::HeldFolder& folder, const files::FolderEntry& entry,
                             std::wstring* onDisk = nullptr);
