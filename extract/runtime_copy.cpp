#include <windows.h>

#include <string>

#include "diag/install_log.h"
#include "extract/extract_constants.h"
#include "extract/payload_extractor.h"

namespace {

// Copies `files` in order from `sourceFolder` to `targetFolder`; after the first failure the rest
// are only logged. True when every copy succeeded.
template <size_t N>
bool CopyChain(const std::wstring& sourceFolder, const std::wstring& targetFolder,
               const wchar_t* const (&files)[N]) {
    bool allCopied = true;
    for (const wchar_t* file : files) {
        const std::wstring source = sourceFolder + file;
        const std::wstring target = targetFolder + file;
        InstallLog::Format(extract::kLogAboutToCopy, source.c_str(), target.c_str());
        if (allCopied) allCopied = CopyFileW(source.c_str(), target.c_str(), FALSE) != FALSE;
    }
    return allCopied;
}

}  // namespace

bool CopyTempSysDirToTempBin(const std::wstring& stagingFolder) {
    using namespace extract;
    const std::wstring sysDir = stagingFolder + kSysDirFolder;
    const std::wstring bin = stagingFolder + kStagedBinFolder;
    const bool crtCopied = CopyChain(sysDir + kCrtAssembly + L"\\", bin, kCrtFiles);
    const bool atlCopied = CopyChain(sysDir + kAtlAssembly + L"\\", bin, kAtlFiles);
    return crtCopied && atlCopied;
}
