#include "diag/cvlog.h"

#include <cwchar>
#include <string>

#include <windows.h>

#include "diag/cvlog_entry.h"
#include "diag/cvlog_record.h"
#include "diag/cvlog_writer.h"
#include "diag/diag_constants.h"
#include "diag/install_log.h"
#include "diag/trace_marks.h"

namespace diag {
namespace {

// Formats without a length limit; empty when the format cannot be expanded.
std::wstring FormatMessageText(const wchar_t* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = _vscwprintf(format, measure);
    va_end(measure);
    if (length <= 0) return std::wstring();
    std::wstring text;
    try {
        text.resize(static_cast<std::size_t>(length) + 1);
    } catch (...) {
        return std::wstring();
    }
    va_list copy;
    va_copy(copy, args);
    const int written = _vsnwprintf(&text[0], text.size(), format, copy);
    va_end(copy);
    text.resize(written >= 0 && written <= length ? static_cast<std::size_t>(written)
                                                  : static_cast<std::size_t>(length));
    return text;
}

// "0x..." of the module that holds this code; records below the precise level carry it.
std::wstring ModuleAddressText() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ModuleAddressText), &module);
    wchar_t text[cvlog_layout::kModuleAddressChars] = {};
    _snwprintf(text, cvlog_layout::kModuleAddressChars - 1, L"0x%I64X",
               static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(module)));
    text[cvlog_layout::kModuleAddressChars - 1] = L'\0';
    return text;
}

void LogToWriterV(CVLogWriter& writer, std::atomic<bool>& benchmarkDone,
                  const wchar_t* sourceFile, unsigned line, const wchar_t* function, int level,
                  const wchar_t* category, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    LogToWriter(writer, benchmarkDone, sourceFile, line, function, level, category, format, args);
    va_end(args);
}

}  // namespace

void LogToWriter(CVLogWriter& writer, std::atomic<bool>& benchmarkDone, const wchar_t* sourceFile,
                 unsigned line, const wchar_t* function, int level, const wchar_t* category,
                 const wchar_t* format, va_list args) {
    if (format == nullptr || category == nullptr || !writer.Accepts(level)) return;

    if (!benchmarkDone.exchange(true)) {
        LARGE_INTEGER frequency = {};
        QueryPerformanceFrequency(&frequency);
        LogToWriterV(writer, benchmarkDone, kBenchmarkSourceFile, kBenchmarkLine,
                     kBenchmarkFunction, kBenchmarkLevel, kBenchmarkCategory, kBenchmarkFormat,
                     static_cast<long long>(frequency.QuadPart));
    }

    try {
        CVLogRecordFields fields;
        fields.level = level;
        fields.line = line;
        fields.threadId = GetCurrentThreadId();
        fields.tick = GetTickCount();
        fields.wallSeconds = WallClockSeconds();
        if (level >= kPreciseTimingLevel) {
            LARGE_INTEGER counter = {};
            QueryPerformanceCounter(&counter);
            fields.perfCounter = counter.QuadPart;
        } else {
            fields.moduleAddress = ModuleAddressText();
        }
        fields.sourceFile = sourceFile != nullptr ? sourceFile : L"";
        fields.function = function != nullptr ? function : L"";
        fields.category = category;
        fields.message = FormatMessageText(format, args);
        writer.Append(CVLogRecord::Build(fields));
    } catch (...) {
        // Out of memory while building: the record is dropped.
    }
}

}  // namespace diag

void CVLog_DoCVLogVW(const wchar_t* sourceFile, unsigned line, const wchar_t* function, int level,
                     const wchar_t* category, const wchar_t* format, va_list args) {
    // A plain flag: the benchmark record is needed once per process, not once per writer.
    static std::atomic<bool> benchmarkDone(false);
#ifdef PELORA_TRACE_MARKS
    wchar_t text[512];
    va_list copy;
    va_copy(copy, args);
    InstallLog::FormatLine(text, sizeof(text) / sizeof(text[0]), format, copy);
    va_end(copy);
    trace::Mark(text);
#endif
    diag::LogToWriter(diag::CVLogWriter::Instance(), benchmarkDone, sourceFile, line, function,
                      level, category, format, args);
}

void CVLog_EnsureWriter() { diag::CVLogWriter::Instance(); }

void CVLog_DoCVLogW(const wchar_t* sourceFile, unsigned line, const wchar_t* function, int level,
                    const wchar_t* category, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    CVLog_DoCVLogVW(sourceFile, line, function, level, category, format, args);
    va_end(args);
}
