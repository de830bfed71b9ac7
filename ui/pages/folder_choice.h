#pragma once

#include <cstdint>
#include <string>

namespace ui {

// Where the location page's folder text came from; it decides what the install folder is made of.
enum class FolderOrigin : int32_t { Typed = 0, Browsed = 1, Initial = 2 };

// The folder to install into, before the version folder is added: a typed folder gets the
// product's own folder ("Pelora") below it; a browsed or initial folder is a product root and gets
// "App" unless it already ends in it. Empty when the joined path does not fit a Windows path.
std::wstring ChosenFolder(const std::wstring& folderText, FolderOrigin origin);

// Joins two paths the way the system does: one backslash between them, "." and ".." resolved.
// Empty when the result would not fit MAX_PATH.
std::wstring CombinePath(const std::wstring& folder, const std::wstring& name);

// The part after the last backslash; empty for an empty path or one ending in a backslash or colon.
std::wstring LastPathComponent(const std::wstring& path);

// The folder the welcome page shows for an engine version folder: the folder above it without a
// trailing backslash (C:\A\B\1.14.301 shows as C:\A\B).
std::wstring FolderTextOf(std::wstring versionFolder);

}  // namespace ui
