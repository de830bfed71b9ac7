#pragma once

#include <string>

#include <lzma/7z.h>

#include "common/progress_callbacks.h"

namespace extract {

// Writes every file entry of the opened archive below `targetFolder`, creating parent folders as
// needed and reporting progress after each file. Independent solid blocks are decoded at the
// same time, one per processor, each by a thread reading the archive bytes (`data`, `size`)
// through a stream of its own and writing its own files; progress and cancellation are handled
// on the calling thread. Returns the first failure's result code (E_FAIL for a failure of the
// file handling or an unsafe entry name), and 0 when cancelled; a failed or cancelled extraction
// stops every block within one piece of its current file and leaves no half-written file.
SRes ExtractAllFiles(const CSzArEx* database, const void* data, size_t size,
                     const std::wstring& targetFolder, IExtractProgressCallback* callback,
                     ISzAllocPtr alloc);

}  // namespace extract
