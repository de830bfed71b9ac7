#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The files the setup puts into Windows' own folders when they are missing there: the helper DLL
// "MivoVistaHelper.dll" in the system folder and the Windows Media profile "WMSysPr9.prx" in
// "C:\windows" (the Windows folder of a standard system). Other programs may use or bring the
// same files, so the uninstaller takes back only the ones a setup run created, as recorded in the
// per-user product key's "SystemFiles", and only while they hold the bytes that run wrote, as the
// machine-wide record of their hashes says (system_file_hashes.h): the per-user list is anybody's
// to edit, the machine-wide key only an administrator's.

// Where the setup puts the helper DLL (GetSystemDirectoryW, as ExtractHelperDll does); empty when
// the system folder cannot be read.
std::wstring SystemHelperDllPath();
// Where the setup puts the media profile (as CopySystemProfile does).
std::wstring SystemProfilePath();

// What one setup run created among the system files. A step that may create one runs through
// Provide, which notes the file when it was absent before the step and is a file after it.
class SystemFileNotes {
public:
    template <typename Step>
    bool Provide(const std::wstring& path, Step step) {
        const bool existed = path.empty() || FileOrFolderAt(path);
        const bool result = step();
        if (!existed) Note(path);
        return result;
    }
    const std::vector<std::wstring>& Created() const { return m_created; }

private:
    static bool FileOrFolderAt(const std::wstring& path);
    // Keeps `path` when the step left a file there.
    void Note(const std::wstring& path);

    std::vector<std::wstring> m_created;
};

// Adds `created` to "SystemFiles" of the product key under `hive`, keeping what is listed there
// already (a path listed in another spelling is not added twice), then records the SHA-256 of each
// file of `created` in the machine-wide product key, created when missing (where the setup could
// create a system file it can write that key too). The key under `hive` is not created: true when
// it lists `created` afterwards and their hashes are recorded, also when `created` is empty; false
// (logged) when the key is missing or either value cannot be written.
bool RecordSystemFiles(HKEY hive, const std::vector<std::wstring>& created);

// "SystemFiles" of the product key under `hive`; empty when the key or the value is missing.
std::vector<std::wstring> ReadRecordedSystemFiles(HKEY hive);

// Deletes the system files listed in the product key under `hive`, each only when it names one of
// the two places above (the same file however spelled; any other path listed is ignored and logged,
// so that an altered key cannot delete an arbitrary file) and only when its SHA-256 is the one
// recorded in the machine-wide product key when the setup wrote it. A file without a recorded hash,
// a link and a file whose bytes differ are kept and logged: they are no longer, or cannot be shown
// to be, this product's. The profile must in addition be byte for byte `versionFolder`'s
// "WMSysPr9.prx". The file is deleted through the handle its bytes were read from; one in use is
// moved aside and deleted at the next start. The list is rewritten to what is left of this
// product's files, and removed when nothing is; the hashes follow it. True when none is left (also
// when none was listed); false when one could not be checked or removed. Run it while the version
// folder still holds its profile and before DeleteProductKey takes the lists away.
bool RemoveRecordedSystemFiles(HKEY hive, const std::wstring& versionFolder);
