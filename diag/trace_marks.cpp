#include "diag/trace_marks.h"

#ifdef PELORA_TRACE_MARKS

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace trace {
namespace {

// FILETIME counts 100 ns from 1601; the marks count microseconds from 1970.
constexpr uint64_t kUnixEpochIn100ns = 116444736000000000ULL;

uint64_t MicrosecondsOf(const FILETIME& time) {
    const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return ticks < kUnixEpochIn100ns ? 0 : (ticks - kUnixEpochIn100ns) / 10;
}

// The precise clock where the system has it (Windows 8 on), else the ordinary one.
uint64_t Now() {
    using PreciseTime = VOID(WINAPI*)(LPFILETIME);
    static const PreciseTime precise = reinterpret_cast<PreciseTime>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
    FILETIME now = {};
    if (precise) precise(&now);
    else GetSystemTimeAsFileTime(&now);
    return MicrosecondsOf(now);
}

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string out(static_cast<size_t>(size - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    // A mark is one line: the log texts carry their own line ends, which are dropped here.
    for (char& c : out) {
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    }
    return out;
}

struct TraceFile {
    std::mutex mutex;
    HANDLE file = INVALID_HANDLE_VALUE;
    bool opened = false;
};

TraceFile& TheFile() {
    static TraceFile* file = new TraceFile();  // never destroyed: marks come until the last moment
    return *file;
}

void WriteLine(HANDLE file, uint64_t when, DWORD thread, const std::string& text) {
    char head[48];
    const int length = snprintf(head, sizeof(head), "%llu\t%lu\t", static_cast<unsigned long long>(when),
                                static_cast<unsigned long>(thread));
    const std::string line = std::string(head, length > 0 ? static_cast<size_t>(length) : 0) + text + "\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

// Opens the file on the first mark; the process's creation time comes first.
HANDLE OpenOnce(TraceFile& trace) {
    if (trace.opened) return trace.file;
    trace.opened = true;
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"PELORA_TRACE_FILE", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return INVALID_HANDLE_VALUE;
    trace.file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (trace.file == INVALID_HANDLE_VALUE) return trace.file;
    FILETIME created = {}, exited = {}, kernel = {}, user = {};
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        WriteLine(trace.file, MicrosecondsOf(created), 0, "process created");
    }
    return trace.file;
}

}  // namespace

void Mark(const wchar_t* text) {
    if (text == nullptr) return;
    const uint64_t when = Now();
    TraceFile& trace = TheFile();
    std::lock_guard<std::mutex> guard(trace.mutex);
    const HANDLE file = OpenOnce(trace);
    if (file == INVALID_HANDLE_VALUE) return;
    WriteLine(file, when, GetCurrentThreadId(), Utf8(text));
}

}  // namespace trace

#endif  // PELORA_TRACE_MARKS
