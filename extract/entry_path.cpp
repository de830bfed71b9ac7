#include "extract/entry_path.h"

#include "extract/extract_constants.h"

namespace extract {
namespace {

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

bool IsSafeEntryName(const std::wstring& name) {
    if (name.empty() || IsSeparator(name[0])) return false;
    // A colon names a drive ("C:x") or an alternate data stream; neither belongs in an entry.
    if (name.find(L':') != std::wstring::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        if (name.compare(start, end - start, L"..") == 0) return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

EntryPathResult MakeEntryPath(const std::wstring& targetFolder, const std::wstring& entryName,
                              std::wstring* path) {
    if (!IsSafeEntryName(entryName)) return EntryPathResult::kUnsafeName;
    if (entryName.size() > static_cast<size_t>(kEntryNameChars)) return EntryPathResult::kTooLong;
    // "<target>\<name>" and its terminator must fit the path buffer whole: a cut path would
    // write a different file than the archive names.
    if (targetFolder.size() + 1 + entryName.size() + 1 > kEntryPathChars)
        return EntryPathResult::kTooLong;
    *path = targetFolder + L"\\" + entryName;
    return EntryPathResult::kOk;
}

std::wstring ParentFolder(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"/\\");
    if (separator == std::wstring::npos) return std::wstring();
    return path.substr(0, separator);
}

}  // namespace extract
