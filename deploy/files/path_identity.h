#pragma once

#include <string>

#include "deploy/files/nt_files.h"

// What a path names, decided by the object on disk rather than by the spelling: "C:\App",
// "c:\app\", "C:\App\Bin\..", "C:\APP~1" and a path through another link to the same folder are
// one folder when they open to one object.
namespace files {

// The full form of `path`: "." and ".." resolved, "/" read as "\", the part that exists in its
// long form (short 8.3 names expanded, letter case as on disk), no trailing backslash except a
// drive root's. Empty for a path that is not fully qualified ("C:", "C:dir", "\dir", "dir", device
// paths) or cannot be resolved.
std::wstring FullPath(const std::wstring& path);

// FullPath without the long form: the same objects, spelt as `path` spells them (a short name
// stays short, letter case stays). It reads no folder, where the long form reads every folder on
// the way (a few milliseconds a path under Wine), so walks that only look at each object use it.
std::wstring AbsolutePath(const std::wstring& path);

// FullPath in upper case, for comparing paths that do not exist (yet).
std::wstring NormalisedPath(const std::wstring& path);

// The identity of what exists at `path` (a link as itself); false when nothing is there.
bool IdentityOf(const std::wstring& path, FileIdentity& identity);

// True when both paths name the same object: by identity when something exists at either, by
// their normalised text when neither exists.
bool IsSameObject(const std::wstring& a, const std::wstring& b);

// True when `path` is `folder` or lies below it: some folder on `path` (from the path itself up to
// its drive root) is the same object as `folder`.
bool IsSameOrInside(const std::wstring& path, const std::wstring& folder);

// The folder above a full path ("C:\a" for "C:\a\b", "C:\" for "C:\a"); empty for a root.
std::wstring FolderAbove(const std::wstring& fullPath);

}  // namespace files
