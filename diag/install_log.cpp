#include "diag/install_log.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <mutex>

#include <share.h>

#include <windows.h>

#include "diag/app_data_folder.h"
#include "diag/diag_constants.h"
#include "diag/folder_chain.h"
#include "diag/trace_marks.h"

namespace InstallLog {
namespace {

// The one stream of the process. `mutex` guards `stream` so that a Close on one thread cannot
// pull the stream from under a Write on another, and keeps stamp and message of a line together.
struct LogStream {
    std::mutex mutex;
    FILE* stream = nullptr;
};

LogStream& TheLog() {
    // Never destroyed: threads may still log while static objects are torn down at exit.
    static LogStream* log = new LogStream;
    return *log;
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

std::wstring DefaultPath() {
    return diag::AppDataFolder(false) + L"\\" + diag::kMakerFolder + L"\\" + diag::kLogsFolder +
           L"\\" + diag::kInstallLogFileName;
}

void Open(const std::wstring& path) {
    LogStream& log = TheLog();
    std::lock_guard<std::mutex> guard(log.mutex);
    if (log.stream != nullptr) return;

    diag::CreateFolderChain(diag::ParentFolderOf(path));
    const bool existed = FileExists(path);
    // Shared for reading and writing so that a tail or a crash reporter can read the log live.
    FILE* stream = _wfsopen(path.c_str(), L"ab+", _SH_DENYNO);
    if (stream == nullptr) return;
    if (!existed) {
        static const unsigned char kByteOrderMark[] = {0xFF, 0xFE};
        fwrite(kByteOrderMark, 1, sizeof(kByteOrderMark), stream);
        fflush(stream);
    }
    log.stream = stream;
}

std::wstring FormatStamp(int year, int month, int day, int hour, int minute, int second) {
    wchar_t buffer[64] = {};
    _snwprintf(buffer, 63, diag::kStampFormat, year, month, day, hour, minute, second);
    buffer[63] = L'\0';
    return buffer;
}

std::wstring Stamp() {
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    return FormatStamp(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}

void Write(const wchar_t* message) {
    if (message == nullptr) return;
    trace::Mark(message);
    LogStream& log = TheLog();
    std::lock_guard<std::mutex> guard(log.mutex);
    if (log.stream == nullptr) return;
    // One write per line, so that lines of different threads never mix.
    const std::wstring line = Stamp() + message;
    fwrite(line.data(), sizeof(wchar_t), line.size(), log.stream);
    fflush(log.stream);
}

void Close() {
    LogStream& log = TheLog();
    std::lock_guard<std::mutex> guard(log.mutex);
    if (log.stream == nullptr) return;
    fclose(log.stream);
    log.stream = nullptr;
}

bool FormatLine(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args) {
    if (buffer == nullptr || capacity < 3) return false;
    buffer[0] = L'\0';
    if (format == nullptr) return false;

    const int written = _vsnwprintf(buffer, capacity - 1, format, args);
    buffer[capacity - 1] = L'\0';
    if (written >= 0 && static_cast<size_t>(written) <= capacity - 1) return false;

    // Cut: keep the format's line end so that the following line does not run on.
    const size_t formatLength = wcslen(format);
    const wchar_t* lineEnd = L"";
    if (formatLength >= 2 && wcscmp(format + formatLength - 2, L"\r\n") == 0) {
        lineEnd = L"\r\n";
    } else if (formatLength >= 1 && format[formatLength - 1] == L'\n') {
        lineEnd = L"\n";
    }
    size_t keep = capacity - 1 - wcslen(lineEnd);
    // Never leave half of a surrogate pair in front of the line end.
    if (keep > 0 && IsHighSurrogate(buffer[keep - 1])) --keep;
    wcscpy(buffer + keep, lineEnd);
    return true;
}

void Format(const wchar_t* format, ...) {
    wchar_t buffer[diag::kInstallLogLineChars];
    va_list args;
    va_start(args, format);
    FormatLine(buffer, diag::kInstallLogLineChars, format, args);
    va_end(args);
    Write(buffer);
}

}  // namespace InstallLog
