#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace extract {

// One extracted file being written. Closing is explicit so that its result can be checked; an
// object destroyed while open closes the handle quietly (a failure path already logged).
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Deletes an existing file of that name first, then creates it afresh for writing.
    bool Create(const std::wstring& path);
    // Writes all `size` bytes in pieces of at most 16 MiB; false when any piece falls short.
    bool WriteAll(const unsigned char* data, size_t size);
    // Gives the file the modification time the archive records for it (the release's time, the
    // same on every machine) instead of the time of the extraction.
    bool SetModificationTime(const FILETIME& time);
    bool Close();

private:
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
};

}  // namespace extract
