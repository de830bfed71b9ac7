#pragma once

// Evidence the stand-in programs leave for the tests: one UTF-8 text file per program,
// %APPDATA%\CorvaneTest\<program>.log, one "key=value" line appended per record.
namespace standin {

void Record(const wchar_t* program, const wchar_t* key, const wchar_t* value);

// Records "cmdline=<raw command line>", "exe=<own path>" and "argN=<argument>" for each parsed
// argument after the program name.
void RecordCommandLine(const wchar_t* program);

}  // namespace standin
