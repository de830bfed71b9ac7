#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "common/progress_callbacks.h"

// Extraction of the 7z archives carried in the setup program's own resources. The archive is read
// straight from the locked resource; every step logs its outcome to the install log. Its solid
// blocks are decoded at the same time on threads of their own, but the CRC table is
// process-wide and set up by each extraction, so two extractions must not run at the same time.

// Extracts the payload resource into `stagingFolder` with up to four attempts one second apart,
// then copies the VC80 runtime files next to the staged binaries. Returns true when both worked.
// On false, *diskLow tells whether drive C: has less than 90 MiB free (or could not be asked);
// on true *diskLow is left untouched. `callback` may be null. Once the callback reports the run
// cancelled, the extraction ends within its poll, a pause between attempts ends early, and false
// is returned at once, with no further attempt and *diskLow untouched.
bool ExtractPayload(const wchar_t* resourceType, int resourceId, HINSTANCE module,
                    const std::wstring& stagingFolder, bool* diskLow,
                    IExtractProgressCallback* callback);

// Makes "MivoVistaHelper.dll" available from Windows Vista on: extracts the helper resource into
// the system folder, or accepts a copy already there, or extracts it hidden into the current
// folder. Returns true at once before Vista. False only when no copy could be provided.
bool ExtractHelperDll(HINSTANCE module, const wchar_t* resourceType, int resourceId);

// Extracts the archive held in resource (`type`, `id`) of `module` into `targetFolder`.
// Returns 0 on success, 1 when the archive could not be extracted, -1 when the resource could not
// be found or locked.
int ExtractResource(IExtractProgressCallback* callback, const std::wstring& targetFolder,
                    HINSTANCE module, const wchar_t* type, int id);

// Extracts the 7z archive at `data` (`size` bytes) into `targetFolder`, overwriting existing
// files. An entry whose name would leave the target folder, or whose path does not fit, fails the
// extraction. A cancelled extraction counts as success with the files written so far.
// Returns 0 on success and 1 on any failure.
int ExtractArchive(IExtractProgressCallback* callback, const std::wstring& targetFolder,
                   const void* data, size_t size);

// Copies the VC80 CRT files (manifest, msvcm80, msvcp80, msvcr80) and then the ATL files
// (manifest, ATL80) from the staged "SysDir" assemblies into the staged product's Bin folder.
// A chain stops at its first failed copy; the ATL chain runs even when the CRT chain failed.
// True only when every file was copied.
bool CopyTempSysDirToTempBin(const std::wstring& stagingFolder);

// Creates `folder` and any missing parents ("/" and "\" both separate). True when it exists
// afterwards; a bare drive name is accepted when the drive exists.
bool EnsureFolder(const std::wstring& folder);
