#pragma once

#include <string>

// The one place where names cross between UTF-16 and the system ANSI code page (the install
// manifest stores ANSI names).

// Converts `text` to the ANSI code page. False when a character has no exact ANSI form (the
// converted text would name a different file); `ansi` then holds the lossy conversion.
bool WideToAnsi(const std::wstring& text, std::string& ansi);
std::wstring AnsiToWide(const std::string& ansi);
