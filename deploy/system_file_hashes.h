#pragma once

#include <string>
#include <vector>

// The machine-wide record of what the setup wrote into Windows' own folders: a SHA-256 of each
// system file it created (system_files.h), in "SystemFileHashes" of the product key below
// HKEY_LOCAL_MACHINE. Only administrators can change that key, unlike the per-user list of the
// files, so the uninstaller, which runs elevated, trusts a file's bytes only as far as this record
// vouches for them.

struct SystemFileHash {
    std::wstring path;
    std::wstring sha256;  // 64 lower-case hexadecimal digits
};

// The recorded hashes; entries without a separator, a path or a digest are left out. Empty when
// the key or the value is missing.
std::vector<SystemFileHash> ReadSystemFileHashes();

// The digest recorded for `path` (the same file however spelled, registered_path.h); empty when
// none is.
std::wstring RecordedHashOf(const std::vector<SystemFileHash>& hashes, const std::wstring& path);

// Records the digest of each file of `created` as it is now, replacing an entry of the same file
// and keeping the others, creating the machine-wide product key when it is missing. A file that
// cannot be hashed loses its entry. False (logged) when a file cannot be hashed or the key cannot
// be written: the uninstaller then leaves that file where it is.
bool RecordSystemFileHashes(const std::vector<std::wstring>& created);

// Rewrites the record to the entries of the files in `listed`, and removes the value when none is
// left. Nothing is done when the key or the value is missing; a failure is logged.
void KeepSystemFileHashes(const std::vector<std::wstring>& listed);
