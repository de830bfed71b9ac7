#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diag/diag_constants.h"

namespace diag {

// The binary-log settings that the command line can change.
struct CVLogOptions {
    int levelThreshold = kDefaultLevelThreshold;
    std::uint32_t bufferCount = kDefaultBufferCount;
    bool buffered = true;
};

// Applies one argument ("/3", "/loglevel:N", "/logbuf:N"); other arguments change nothing.
void ApplyCVLogOption(const std::wstring& argument, CVLogOptions& options);
// Applies the arguments in order, so that later ones override earlier ones.
CVLogOptions ParseCVLogOptions(const std::vector<std::wstring>& arguments);
// The arguments of this process after the program path, unquoted.
std::vector<std::wstring> ProcessArguments();

}  // namespace diag
