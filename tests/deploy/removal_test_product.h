#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>

// A small product installed the way the setup installs it, for the removal tests: the files are
// staged below `stagingFolder` and copied into `versionFolder` by the real deployer, which writes
// the install manifest. False when the deployer fails.
struct StagedFile {
    const wchar_t* path;  // below the staged tree, e.g. L"Bin\\Pelora.exe"
    size_t size;
};
bool InstallTestProduct(const std::wstring& stagingFolder, const std::wstring& versionFolder,
                        std::initializer_list<StagedFile> files);

// Writes `text` as the whole content of `path` (a manifest as somebody may have edited it).
bool WriteText(const std::wstring& path, const std::string& text);
