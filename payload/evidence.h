#pragma once

// Evidence the stand-in programs leave for the tests: one UTF-8 text file per program,
// %APPDATA%\CorvaneTest\<program>.log, one "key=value" line appended per record.
namespace standin {

void Record(const wchar_t* program, const wchar_t* key, const wchar_t* value);

// Records "cmdline=<raw command line>", "exe=<own path>" and "argN=<argument>" for each parsed
// argument after the program name.
void RecordCommandLine(const wchar_t* program);

// For the tests of programs that never end: while %APPDATA%\CorvaneTest\<program>.stay exists,
// waits (checking every 100 ms), then records "stay=ended". Returns at once, recording nothing,
// when the file does not exist.
void StayWhileMarked(const wchar_t* program);

}  // namespace standin
