#pragma once

#include <string>

// The one place where telemetry converts between the program's wide strings and the narrow text
// in the system's ANSI code page that travels in reports.
namespace ansi_text {

std::string FromWide(const std::wstring& text);
std::wstring ToWide(const std::string& text);

}  // namespace ansi_text
