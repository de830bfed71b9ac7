#pragma once

#include <string>

namespace diag {

// Creates every missing folder of `folder` from the root down. A plain file standing where a
// folder belongs is deleted first. Does nothing for an empty path or one of 260 characters or
// more; stops at the first level that cannot be created. Returns whether the whole chain exists
// afterwards.
bool CreateFolderChain(const std::wstring& folder);

// The drive-and-folder part of `path` (everything before its last "\" or "/"), or empty.
std::wstring ParentFolderOf(const std::wstring& path);

}  // namespace diag
