#pragma once

#include <string>

// The one place where text crosses between the program's UTF-16 strings and the system's ANSI
// code page, at the edges that need narrow text: the install manifest and telemetry.
namespace diag {

// Converts `text` strictly, without best-fit mapping. False when a character has no exact ANSI
// form (for a file name, the converted text would name a different file); `ansi` then holds the
// lossy conversion, with the code page's default character where a character had no form.
bool WideToAnsiExact(const std::wstring& text, std::string& ansi);

// The same for a given code page (CP_ACP is the system's ANSI code page). Code pages that take no
// conversion flags, UTF-8 among them (a system may run with UTF-8 as its ANSI code page), are
// judged by the round trip alone.
bool WideToCodePageExact(const std::wstring& text, unsigned codePage, std::string& narrow);

// Converts `text` as well as the code page allows: best-fit mapping where there is one ("ä" may
// become "a"), the default character otherwise. Empty when the conversion fails as a whole.
std::string WideToAnsi(const std::wstring& text);

// Converts ANSI text to UTF-16; empty when the conversion fails.
std::wstring AnsiToWide(const std::string& ansi);
std::wstring CodePageToWide(const std::string& narrow, unsigned codePage);

}  // namespace diag
