#pragma once

#include <cstdint>
#include <string>

#include <tinyxml.h>

// The install manifest "PeloraInstall.xml": one `folder` or `file` element per entry of a folder
// tree, nested like the tree, each with the attributes `name` (ANSI code page) and `size` (low 32
// bits of the byte count as a signed decimal; a folder's size is the total beneath it).

// What a scan could not put into the manifest. An entry that is missing from the manifest is
// neither copied nor removed, so the caller must know about it.
struct ManifestScanGaps {
    // The first entry left out because the entry budget ran out.
    std::wstring firstOverBudget;
    // The first entry whose name the ANSI code page cannot hold (left out as well: its converted
    // name would point at another file or at none).
    std::wstring firstUnrepresentable;

    // The longest full path of an entry the scan listed (not a gap: what the deepest path of the
    // tree is, so that the target can be checked for room).
    std::wstring longestPath;

    bool IsComplete() const { return firstOverBudget.empty() && firstUnrepresentable.empty(); }
};

// The number of entries (each folder visited and each file) one manifest scan lists at most.
inline constexpr int kManifestEntryBudget = 5000;

// Lists the entries of `folder` below `element` in enumeration order and returns their total size.
// `budget` is shared by the whole walk.
uint64_t ScanFolder(int& budget, const std::wstring& folder, TiXmlElement& element,
                    ManifestScanGaps& gaps);

// Makes a `folder` or `file` element with the given name and size.
TiXmlElement MakeManifestElement(const char* type, const std::string& ansiName, uint64_t size);
void SetManifestSize(TiXmlElement& element, uint64_t size);

// The byte count of an element's `size` as the reader has always parsed it: decimal digits up
// to the first blank, no sign; a size of 2 GiB or more comes back wrong (progress only).
int64_t ReadManifestSize(const TiXmlElement& element);
// The element's `name` converted back from the ANSI code page; false when it has none.
bool ReadManifestName(const TiXmlElement& element, std::wstring& name);
bool IsFolderElement(const TiXmlElement& element);

// Writes the document in text mode (CR LF line ends), replacing any file at `path`.
bool SaveManifest(const TiXmlDocument& document, const std::wstring& path);
bool LoadManifest(TiXmlDocument& document, const std::wstring& path);
