#pragma once

#include <string>

#include "deploy/files/held_folder.h"

// Deleting through held handles: every entry is opened inside its held folder, checked to be the
// object the listing named, and deleted through that handle, never by looking its path up again.
// Links are removed as links; what they lead to is never entered.
namespace files {

// Deletes the entry `entry` of the held folder `parent`: a file (read-only or not), a link as
// itself, or a folder with everything below it. True when nothing of it is left; every entry that
// stays is logged.
bool DeleteEntry(const HeldFolder& parent, const FolderEntry& entry);

// Deletes everything inside `folder`; false when anything stays.
bool DeleteContents(const HeldFolder& folder);

// Deletes `folder` (opened for deletion) after everything inside it.
bool DeleteHeldTree(const HeldFolder& folder);

// A test build can stop a deletion once a folder has been checked and opened, before anything in
// it is deleted, to change the world meanwhile. Never set in the shipped program.
using DeletionPause = void (*)(const std::wstring& folder);
void SetDeletionPause(DeletionPause pause);

}  // namespace files
