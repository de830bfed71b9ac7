#pragma once

#include <string>

// The one rule that decides which folders belong to the product, and so may be emptied, deleted
// or have a file standing in their way removed. Every deleting routine asks it.
//
// The product's own folders are: the staging root {appData}\Corvane\STemp, the default product
// root {appData}\Corvane\Pelora\App, the updater's programs folder {appData}\Corvane\PeloraProgs,
// and a folder that holds the install manifest "PeloraInstall.xml"; each with everything below it. A drive root is never the product's.
// Paths are compared in their full form: "." and ".." resolved, "/" read as "\", short names
// expanded where the path exists, no trailing backslash, letter case ignored as Windows does.

// The full, normalised form of `path` in upper case, for comparisons; empty for a path that is
// not fully qualified ("C:", "C:dir", "\dir", "dir") or cannot be resolved.
std::wstring NormalisedPath(const std::wstring& path);

// The full form of `path` with "." and ".." resolved and "/" read as "\", letter case kept; empty
// like NormalisedPath.
std::wstring FullPath(const std::wstring& path);

// True when `path` is one of the product's own folders or lies below one (see above).
bool IsProductFolder(const std::wstring& path);

// True when something stands at `path` that is not the product's and holds data: a file, or a
// folder with anything in it, outside the product's folders. The setup neither empties such a
// folder nor installs into it. An empty folder or nothing at all is not foreign.
bool HoldsForeignData(const std::wstring& path);
