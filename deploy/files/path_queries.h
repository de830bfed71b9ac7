#pragma once

#include <string>

// What stands at a path now, by its attributes. These answer questions; they decide nothing about
// deleting, for which the held handles of held_folder.h are used.

bool FileOrFolderExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);
bool FileExists(const std::wstring& path);
// True for a junction or symbolic link (a reparse point) at the path itself, whether its target
// exists or not. files::LinkOnPath looks at every folder on the way as well.
bool IsLink(const std::wstring& path);
