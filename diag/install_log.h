#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

// The human-readable install log "PeloraInstall.txt": one process-wide UTF-16LE stream that every
// thread appends stamped lines to. All operations are silent on failure.
namespace InstallLog {

// Application-data folder + "\Corvane\Logs\PeloraInstall.txt".
std::wstring DefaultPath();
// Opens `path` for appending (creating its folder chain); writes the byte-order mark only into a
// new file. Does nothing when a stream is already open.
void Open(const std::wstring& path);
// "[year:month:day:hour:minute:second]" of the local time, without zero padding.
std::wstring Stamp();
// Appends the stamp and `message` (which carries its own line end) and flushes at once.
// Without an open stream the line is dropped.
void Write(const wchar_t* message);
void Close();

// Formats printf-style (Microsoft conventions: "%s" is a wide string) into the 512-character line
// buffer, cutting a longer message safely, and writes it.
void Format(const wchar_t* format, ...);

// The stamp of Stamp() for a given moment; fields are taken as they are (no zero padding).
std::wstring FormatStamp(int year, int month, int day, int hour, int minute, int second);

// Formats into `buffer` of `capacity` characters (capacity >= 3) and always terminates it. A
// message that does not fit is cut before its last whole character and still ends with the line
// end ("\r\n" or "\n") that the format ends with, so the next line starts on a line of its own.
// Returns whether the message was cut.
bool FormatLine(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args);

}  // namespace InstallLog
