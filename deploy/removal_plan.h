#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the uninstaller may delete from a version folder: the entries its install manifest
// "PeloraInstall.xml" lists, and nothing else. The manifest is a file on the user's disk that
// anybody may have edited, so every name in it is checked before anything is deleted: one name
// that would lead out of the version folder refuses the whole plan.

struct RemovalEntry {
    std::wstring path;  // full path below the version folder
    bool isFolder = false;
    uint64_t size = 0;  // the manifest's size of a file (progress only)
};

struct RemovalPlan {
    // Files before the folder that holds them, and every folder after everything below it, so
    // the plan can be carried out in order.
    std::vector<RemovalEntry> entries;
    uint64_t totalBytes = 0;
};

// True when `name` names an entry directly inside a folder: not empty, not "." or "..", no path
// separator, drive, stream or wildcard character and no control character, and not ending in a
// dot or blank (which Windows would drop, making it another name).
bool IsPlainEntryName(const std::wstring& name);

// Reads the manifest of `versionFolder` into `plan`. Entries below a folder named
// `keepFolderName` directly in the version folder (the users' data) are left out when it is not
// empty. False, with a message for the user and the log in `problem`, when the manifest cannot be
// read or one of its names is not a plain name (see above), or a path would be too long.
bool ReadRemovalPlan(const std::wstring& versionFolder, const std::wstring& keepFolderName, RemovalPlan& plan,
                     std::wstring& problem);
