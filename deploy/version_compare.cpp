// The comparison of an installed version with this build's (product_registry.h).
#include <algorithm>
#include <climits>
#include <cwchar>

#include "common/product.h"
#include "deploy/deploy_constants.h"
#include "deploy/product_registry.h"

namespace {

// Moves just past the next "." or to the end of the text.
const wchar_t* NextSegment(const wchar_t* text) {
    const wchar_t* dot = wcschr(text, L'.');
    return dot != nullptr ? dot + 1 : text + wcslen(text);
}

bool IsSpecialBuild(const std::wstring& version) {
    if (version == deploy::kSpecialBuildVersion) return true;
    const std::wstring suffix = deploy::kSpecialBuildSuffix;
    return std::count(version.begin(), version.end(), L'.') == 4 && version.size() >= suffix.size() &&
           version.compare(version.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

int CompareWithThisVersion(const wchar_t* text) {
    if (text == nullptr) return -1;
    const wchar_t* installed = text;
    const wchar_t* current = product::kVersion;
    while (*installed != L'\0' || *current != L'\0') {
        long installedNumber = wcstol(installed, nullptr, 10);
        long currentNumber = wcstol(current, nullptr, 10);
        if (installedNumber != currentNumber) {
            // Keep the sign even when the difference does not fit an int.
            long long difference = static_cast<long long>(installedNumber) - currentNumber;
            return static_cast<int>(std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, difference)));
        }
        installed = NextSegment(installed);
        current = NextSegment(current);
    }
    return 0;
}

bool IsNewerVersionInstalled() {
    if (!HasInstalledVersion()) return false;
    const std::wstring version = ReadInstalledVersion();
    if (IsSpecialBuild(version)) return false;
    return CompareWithThisVersion(version.c_str()) > 0;
}
