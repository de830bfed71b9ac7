#include "deploy/registered_path.h"

#include "deploy/files/path_identity.h"

namespace {

// The first token of `text` from `start` on: the quoted text without its quotes (to the end when
// the closing quote is missing), else up to `stop` (the end when it is not found).
std::wstring TokenAt(const std::wstring& text, size_t start, wchar_t stop) {
    if (text[start] == L'"') {
        const size_t end = text.find(L'"', start + 1);
        return text.substr(start + 1, end == std::wstring::npos ? end : end - start - 1);
    }
    const size_t end = stop == L'\0' ? std::wstring::npos : text.find(stop, start);
    return text.substr(start, end == std::wstring::npos ? end : end - start);
}

}  // namespace

bool NamesSamePath(const std::wstring& registered, const std::wstring& ours) {
    return !registered.empty() && !ours.empty() && files::IsSameObject(registered, ours);
}

std::wstring PathInValue(const std::wstring& value) {
    const size_t start = value.find_first_not_of(L' ');
    if (start == std::wstring::npos) return std::wstring();
    return TokenAt(value, start, L'\0');
}

std::wstring ProgramOf(const std::wstring& commandLine) {
    const size_t start = commandLine.find_first_not_of(L' ');
    if (start == std::wstring::npos) return std::wstring();
    return TokenAt(commandLine, start, L' ');
}
