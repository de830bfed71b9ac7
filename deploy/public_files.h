#pragma once

#include <string>

class InstallFootprint;

// Copies the public files (launcher, uninstaller, service and web component) from
// {versionFolder}\Bin into the product root, the parent of the version folder, as the version
// folder's own files are copied: a file held open is moved aside and replaced. 0 when the product
// root is on no usable drive, 1 when every present file was copied whole, -1 when one could not be
// (its target in *failedFile): the shortcuts and the service would point at a stale or broken file.
// What the copies write is noted in `footprint` when one is given.
int CopyPublicFileToInstallDir(const std::wstring& versionFolder, std::wstring* failedFile = nullptr,
                               InstallFootprint* footprint = nullptr);
