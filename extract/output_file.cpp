#include "extract/output_file.h"

#include "extract/extract_constants.h"

namespace extract {

OutputFile::~OutputFile() {
    if (m_hFile != INVALID_HANDLE_VALUE) CloseHandle(m_hFile);
}

bool OutputFile::Create(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) DeleteFileW(path.c_str());
    m_hFile = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    return m_hFile != INVALID_HANDLE_VALUE;
}

bool OutputFile::WriteAll(const unsigned char* data, size_t size) {
    size_t written = 0;
    while (written < size) {
        const size_t remaining = size - written;
        const DWORD piece = remaining > kMaxWriteBytes ? kMaxWriteBytes : static_cast<DWORD>(remaining);
        DWORD done = 0;
        if (!WriteFile(m_hFile, data + written, piece, &done, nullptr) || done == 0) return false;
        written += done;
    }
    return written == size;
}

bool OutputFile::SetModificationTime(const FILETIME& time) {
    return SetFileTime(m_hFile, nullptr, nullptr, &time) != FALSE;
}

bool OutputFile::Close() {
    const HANDLE file = m_hFile;
    m_hFile = INVALID_HANDLE_VALUE;
    return CloseHandle(file) != FALSE;
}

}  // namespace extract
