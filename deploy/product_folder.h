#pragma once

#include <string>

// The one rule that decides which folders belong to the product, and so may be emptied, deleted
// or have a file standing in their way removed. Every deleting routine asks it.
//
// The product's own folders are: the staging root {appData}\Corvane\STemp, the default product
// root {appData}\Corvane\Pelora\App, the updater's programs folder {appData}\Corvane\PeloraProgs,
// and a folder that holds the install manifest "PeloraInstall.xml"; each with everything below it.
// A drive root is never the product's, and neither is a path with a link anywhere on it. Folders
// are compared as objects on disk (files::IsSameOrInside), not as text.

// The product's own folder that holds `path` (or is it): the folder a deletion below it holds on
// to. Empty when `path` is not the product's.
std::wstring ProductFolderOf(const std::wstring& path);

// True when `path` is one of the product's own folders or lies below one (see above).
bool IsProductFolder(const std::wstring& path);

// True when something stands at `path` that is not the product's and holds data: a file, or a
// folder with anything in it, outside the product's folders. The setup neither empties such a
// folder nor installs into it. An empty folder or nothing at all is not foreign.
bool HoldsForeignData(const std::wstring& path);
