#pragma once

#include <string>

#include <lzma/7z.h>

#include "app/progress_callbacks.h"

namespace extract {

// Writes every file entry of the opened archive below `targetFolder`, in archive order, creating
// parent folders as needed and reporting progress after each file. The decoded solid block is
// kept from one entry to the next, so each block is decoded once. Returns the decoder's result
// code, E_FAIL for a failure of the file handling or an unsafe entry name, and 0 when cancelled.
SRes ExtractAllFiles(const CSzArEx* database, ILookInStreamPtr stream,
                     const std::wstring& targetFolder, IExtractProgressCallback* callback,
                     ISzAllocPtr allocMain, ISzAllocPtr allocTemp);

}  // namespace extract
