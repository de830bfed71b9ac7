#pragma once

// Marks for the benchmark's timeline of a run. In a build configured with PELORA_TRACE_MARKS=ON
// (the benchmark presets), every install-log line, every binary-log message and the program's
// own begin and end are also written to the file that the environment variable PELORA_TRACE_FILE
// names: one UTF-8 line per mark, "<microseconds since 1970 UTC>\t<thread id>\t<text>", after a
// first line "<microseconds>\t0\tprocess created" that holds the process's creation time. The
// host reads the same clock, so it can place Wine's start-up and the process's end around them.
// In every other build the marks compile to nothing.
namespace trace {

#ifdef PELORA_TRACE_MARKS
void Mark(const wchar_t* text);
#else
inline void Mark(const wchar_t*) {}
#endif

}  // namespace trace
