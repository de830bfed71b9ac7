#pragma once

#include <cstdarg>

// The binary log (".tlg" beside the install log). Records are queued by the process-wide writer and
// reach the file in batches; see cvlog_writer.h.
void CVLog_DoCVLogVW(const wchar_t* sourceFile, unsigned line, const wchar_t* function, int level,
                     const wchar_t* category, const wchar_t* format, va_list args);
void CVLog_DoCVLogW(const wchar_t* sourceFile, unsigned line, const wchar_t* function, int level,
                    const wchar_t* category, const wchar_t* format, ...);

// Creates the process-wide writer now if no record has created it yet. An object that logs from
// its destructor calls this (or logs) in its constructor, so that the writer outlives it.
void CVLog_EnsureWriter();

#define CVLOG_WIDEN2(x) L##x
#define CVLOG_WIDEN(x) CVLOG_WIDEN2(x)
// Logs with the caller's source file and line filled in; the function name is given as a wide
// literal because readers of the log search for it.
#define CVLOG(function, level, category, ...) \
    CVLog_DoCVLogW(CVLOG_WIDEN(__FILE__), __LINE__, function, level, category, __VA_ARGS__)
