#include "deploy/install_manifest.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "deploy/deploy_constants.h"
#include "deploy/install_paths.h"
#include "diag/ansi_text.h"
#include "diag/win_handle.h"

namespace {

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};
using ScopedFile = std::unique_ptr<FILE, FileCloser>;

bool IsDotEntry(const wchar_t* name) { return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0; }

bool FolderHasEntries(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    diag::ScopedFindHandle find(FindFirstFileW(JoinPath(folder, L"*.*").c_str(), &entry));
    if (!find.IsValid()) return false;
    do {
        if (!IsDotEntry(entry.cFileName)) return true;
    } while (FindNextFileW(find.Get(), &entry));
    return false;
}

void NoteOnce(std::wstring& slot, const std::wstring& path) {
    if (slot.empty()) slot = path;
}

}  // namespace

TiXmlElement MakeManifestElement(const char* type, const std::string& ansiName, uint64_t size) {
    TiXmlElement element(type);
    element.SetAttribute(deploy::kManifestNameAttribute, ansiName.c_str());
    SetManifestSize(element, size);
    return element;
}

void SetManifestSize(TiXmlElement& element, uint64_t size) {
    // The manifest has always held the low 32 bits as a signed number.
    element.SetAttribute(deploy::kManifestSizeAttribute,
                         static_cast<int>(static_cast<int32_t>(static_cast<uint32_t>(size))));
}

uint64_t ScanFolder(int& budget, const std::wstring& folder, TiXmlElement& element,
                    ManifestScanGaps& gaps) {
    if (budget <= 0) {
        if (FolderHasEntries(folder)) NoteOnce(gaps.firstOverBudget, folder);
        return 0;
    }
    --budget;
    uint64_t total = 0;
    WIN32_FIND_DATAW entry;
    diag::ScopedFindHandle find(FindFirstFileW(JoinPath(folder, L"*.*").c_str(), &entry));
    if (!find.IsValid()) return 0;
    do {
        // A junction or symbolic link leads out of the tree: it is neither listed nor entered, so
        // that neither copying nor removal ever reaches its target.
        if (IsDotEntry(entry.cFileName) || (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
        std::wstring path = JoinPath(folder, entry.cFileName);
        if (budget <= 0) {
            NoteOnce(gaps.firstOverBudget, path);
            break;
        }
        std::string ansiName;
        if (!diag::WideToAnsiExact(entry.cFileName, ansiName)) {
            NoteOnce(gaps.firstUnrepresentable, path);
            continue;
        }
        if (path.size() > gaps.longestPath.size()) gaps.longestPath = path;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            TiXmlNode* child = element.InsertEndChild(
                MakeManifestElement(deploy::kManifestFolderElement, ansiName, 0));
            uint64_t folderTotal = ScanFolder(budget, path, *child->ToElement(), gaps);
            SetManifestSize(*child->ToElement(), folderTotal);
            total += folderTotal;
        } else {
            uint64_t size = (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            element.InsertEndChild(MakeManifestElement(deploy::kManifestFileElement, ansiName, size));
            total += size;
            --budget;
        }
    } while (FindNextFileW(find.Get(), &entry));
    return total;
}

int64_t ReadManifestSize(const TiXmlElement& element) {
    const char* text = element.Attribute(deploy::kManifestSizeAttribute);
    if (text == nullptr) return 0;
    // Unsigned arithmetic wraps like the 32-bit field the value was written from.
    uint32_t value = 0;
    for (; *text != '\0' && *text != ' '; ++text) {
        value = value * 10u + static_cast<uint32_t>(*text - '0');
    }
    return static_cast<int32_t>(value);
}

bool ReadManifestName(const TiXmlElement& element, std::wstring& name) {
    const char* text = element.Attribute(deploy::kManifestNameAttribute);
    if (text == nullptr) return false;
    name = diag::AnsiToWide(text);
    return true;
}

bool IsFolderElement(const TiXmlElement& element) {
    return std::strcmp(element.Value(), deploy::kManifestFolderElement) == 0;
}

bool SaveManifest(const TiXmlDocument& document, const std::wstring& path) {
    DeleteFileW(path.c_str());
    // Opened here rather than by the library: its file functions take ANSI paths.
    ScopedFile file(_wfopen(path.c_str(), L"w"));
    if (!file) return false;
    if (!document.SaveFile(file.get())) return false;
    return fflush(file.get()) == 0 && !ferror(file.get());
}

bool LoadManifest(TiXmlDocument& document, const std::wstring& path) {
    ScopedFile file(_wfopen(path.c_str(), L"rb"));
    if (!file) return false;
    // The names are ANSI text, not UTF-8: read as UTF-8, a name ending in a lead byte (0xC2 and up,
    // "café" in code page 1252, "映彩" in 936) would swallow its closing quote.
    return document.LoadFile(file.get(), TIXML_ENCODING_LEGACY) && document.RootElement() != nullptr;
}
