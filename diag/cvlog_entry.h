#pragma once

#include <atomic>
#include <cstdarg>

namespace diag {

class CVLogWriter;

// The body of CVLog_DoCVLogVW on a given writer. `benchmarkDone` is the once-per-process flag of
// the "PerfBenchmark" record that precedes the first record passing the writer's threshold.
void LogToWriter(CVLogWriter& writer, std::atomic<bool>& benchmarkDone, const wchar_t* sourceFile,
                 unsigned line, const wchar_t* function, int level, const wchar_t* category,
                 const wchar_t* format, va_list args);

}  // namespace diag
