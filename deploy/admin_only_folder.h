#pragma once

#include <windows.h>

#include <string>

#include "diag/win_handle.h"

// A folder of the product's own where only the system and administrators can write, for what a
// LocalSystem service loads. Whatever the folder was before (left by an earlier install, made by
// somebody else), it gets its access list and owner again through a handle opened without
// following links, and what the system then reports back decides whether it is used.

// Whether `descriptor` keeps everybody but the system and administrators from changing the
// folder: its access list is present and protected (nothing inherited), every allow entry that
// grants writing, appending, deleting, deleting children, writing attributes, changing the list
// or the owner (GENERIC_WRITE and GENERIC_ALL too) names SYSTEM or Administrators, and the owner
// is one of them. Deny entries only take rights away; an entry of any other kind fails the check.
// On false `problem` names the first reason found (a kReason text of service_library_constants.h).
bool IsAdminOnly(PSECURITY_DESCRIPTOR descriptor, const wchar_t** problem);

// Opens the folder `path`, creating it with kServiceLibraryAccessList when it is missing. Its
// parent is held from the drive root down (no link anywhere on the way) and the folder is opened
// inside it as the entry the parent lists, never through a link; then the owner and the protected
// access list of kServiceLibraryAccessList are set through that handle and read back with
// IsAdminOnly. The handle keeps the folder from being renamed or deleted while it lives. Invalid,
// with a log line naming the folder and the reason, when any of that fails.
diag::ScopedHandle OpenAdminOnlyFolder(const std::wstring& path);

// A test build stands in for a file system that keeps access lists, which Wine does not (it keeps
// Unix permission bits and reports a list made from them): with `echo` the check reads the list
// that was set instead of the system's report. Never set in the shipped program.
void SetAccessListEchoForTesting(bool echo);
