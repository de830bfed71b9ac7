#include "payload/crash_report_command.h"

#include <limits>
#include <vector>

#include "payload/reporter_constants.h"

namespace reporter {
namespace {

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// The whole of `text` as a number of at most `limit`; an optional "0x" before hexadecimal digits.
bool ParseNumber(const std::wstring& text, unsigned base, uint64_t limit, uint64_t& value) {
    size_t i = 0;
    if (base == 16 && text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) i = 2;
    if (i >= text.size()) return false;
    value = 0;
    for (; i < text.size(); ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0 || static_cast<unsigned>(digit) >= base) return false;
        if (value > (limit - static_cast<unsigned>(digit)) / base) return false;
        value = value * base + static_cast<unsigned>(digit);
    }
    return true;
}

bool ParsePointer(const std::wstring& text, uintptr_t& value) {
    uint64_t number = 0;
    if (!ParseNumber(text, 16, std::numeric_limits<uintptr_t>::max(), number)) return false;
    value = static_cast<uintptr_t>(number);
    return true;
}

std::vector<std::wstring> SplitAt(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (size_t end; (end = text.find(separator, start)) != std::wstring::npos; start = end + 1)
        parts.push_back(text.substr(start, end - start));
    parts.push_back(text.substr(start));
    return parts;
}

// The blank-separated word that starts with `prefix`, without the prefix; false when none does.
bool FindSwitch(const std::wstring& commandLine, const wchar_t* prefix, std::wstring& value) {
    const std::wstring wanted = prefix;
    for (const std::wstring& word : SplitAt(commandLine, L' ')) {
        if (word.compare(0, wanted.size(), wanted) == 0) {
            value = word.substr(wanted.size());
            return true;
        }
    }
    return false;
}

}  // namespace

bool ParseCrashReportCommand(const std::wstring& commandLine, CrashReportCommand& command) {
    std::wstring bugInfo;
    if (!FindSwitch(commandLine, kBugInfoSwitch, bugInfo)) return false;
    const std::vector<std::wstring> fields = SplitAt(bugInfo, L':');
    if (fields.size() != 4) return false;
    uint64_t processId = 0;
    if (!ParsePointer(fields[0], command.event) || !ParsePointer(fields[1], command.process) ||
        !ParsePointer(fields[2], command.block) ||
        !ParseNumber(fields[3], 10, std::numeric_limits<uint32_t>::max(), processId))
        return false;
    command.processId = static_cast<uint32_t>(processId);
    command.extraInfo = 0;
    std::wstring extraInfo;
    if (FindSwitch(commandLine, kExtInfoSwitch, extraInfo) && !ParsePointer(extraInfo, command.extraInfo))
        return false;
    return true;
}

}  // namespace reporter
