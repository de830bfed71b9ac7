#pragma once

#include <string>

namespace extract {

enum class EntryPathResult {
    kOk,
    kUnsafeName,  // empty, absolute, with a drive or stream colon, or with a ".." component
    kTooLong,     // the name or the joined path does not fit its buffer
};

// Joins `targetFolder` and an archive entry name ("/"-separated) into "<target>\<name>" for a
// buffer of 256 characters, refusing any name that could land outside the target folder.
EntryPathResult MakeEntryPath(const std::wstring& targetFolder, const std::wstring& entryName,
                              std::wstring* path);

// The part of `path` before its last "/" or "\"; empty when there is no separator.
std::wstring ParentFolder(const std::wstring& path);

}  // namespace extract
