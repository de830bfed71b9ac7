#include "deploy/file_copy.h"

#include <windows.h>

#include <cstdlib>
#include <memory>

#include "diag/win_handle.h"

namespace {

constexpr DWORD kPieceBytes = 4u << 20;

struct FreeDeleter {
    void operator()(void* buffer) const { std::free(buffer); }
};

// Writes all of `size` bytes; WriteFile may take fewer than asked.
bool WriteAll(HANDLE file, const unsigned char* data, DWORD size) {
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(file, data, size, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

bool CopyPieces(HANDLE from, HANDLE to, unsigned char* buffer) {
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(from, buffer, kPieceBytes, &read, nullptr)) return false;
        if (read == 0) return true;
        if (!WriteAll(to, buffer, read)) return false;
    }
}

}  // namespace

bool CopyFileContents(const std::wstring& source, const std::wstring& target) {
    diag::ScopedHandle from(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!from.IsValid()) return false;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(from.Get(), &info)) return false;
    std::unique_ptr<unsigned char, FreeDeleter> buffer(static_cast<unsigned char*>(std::malloc(kPieceBytes)));
    if (!buffer) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }

    // A new copy is marked for backup, as CopyFileW marks it.
    const DWORD attributes =
        (info.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL)) |
        FILE_ATTRIBUTE_ARCHIVE;
    // A read-only target is refused, as Windows' CopyFileW refuses it (Wine's would overwrite it).
    const DWORD existing = GetFileAttributesW(target.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    // Closed by hand below: its close result is part of the copy's.
    HANDLE to = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    if (to == INVALID_HANDLE_VALUE) return false;  // held open, read-only or not creatable: left as it was

    bool copied = CopyPieces(from.Get(), to, buffer.get()) &&
                  SetFileTime(to, nullptr, nullptr, &info.ftLastWriteTime);
    DWORD error = copied ? ERROR_SUCCESS : GetLastError();
    copied = CloseHandle(to) && copied;
    // The attributes go on last: a file being overwritten keeps its old ones through CREATE_ALWAYS,
    // and a read-only copy could not have been given its time.
    if (copied && !SetFileAttributesW(target.c_str(), attributes)) {
        error = GetLastError();
        copied = false;
    }
    if (!copied) {
        // Half a file must not pass for the program.
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(target.c_str());
        SetLastError(error != ERROR_SUCCESS ? error : ERROR_WRITE_FAULT);
    }
    return copied;
}
