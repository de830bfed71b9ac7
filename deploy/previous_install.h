#pragma once

#include <cstdint>
#include <string>
#include <vector>

class IPlProgressCallback;

// Taking an earlier install apart before the new version is deployed, and moving its users'
// folder into the new version folder afterwards. Runs on the install engine's worker thread.

// Unregisters the COM server in `dllPath` with the system's regsvr32 (silent) and waits for it,
// when the file has the digest `expectedSha256` (verified_code.h). True when there is nothing to
// unregister or regsvr32 reported success; false when the file is not the expected one, regsvr32
// could not be started, failed or did not finish in time.
bool UnregisterServer(const std::wstring& dllPath, const std::wstring& expectedSha256);

// Unregisters the old web component, removes the old version folder by its manifest, stops the
// service, deletes the public files of the old product root and finally the root itself when it
// is empty. Every step runs whatever the ones before gave; the result lists the error events
// (previous_install_constants.h) of the steps that failed, in step order.
std::vector<uint32_t> UninstallPrevious(const std::wstring& oldVersionFolder, const std::wstring& stagingFolder,
                                        IPlProgressCallback* progress);

// Deletes the public files and the old uninstaller from the product root above
// `oldVersionFolder`. False when one of them exists and cannot be deleted; true for an empty path.
bool DeletePublicFiles(const std::wstring& oldVersionFolder);

// Below Windows Vista only: moves {old}\Users (or, when it is missing, the first "Users" folder of
// the staged tree) to {new}\Users. True when there is nothing to move, when the copy failed (the
// source then stays as it was) or when the source was removed after the copy.
bool MigrateUsersFolder(const std::wstring& oldVersionFolder, const std::wstring& stagingFolder,
                        const std::wstring& newVersionFolder);
