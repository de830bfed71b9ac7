#pragma once

#include <string>

// Links on the way to a path. A junction, mount point or symbolic link anywhere on a path can
// send whatever is done to the path somewhere else, so a path that holds one is refused before
// anything is deleted, moved or written through it.
namespace files {

// The first folder or file on `path`, from below its drive root down to the path itself, that is
// a link (a reparse point); empty when there is none. Names that do not exist end the walk; a
// path that cannot be resolved gives itself, so that it is refused too.
std::wstring LinkOnPath(const std::wstring& path);

}  // namespace files
