// The setup program's identity in the crash information block.
#include "app/crash_identity.h"

#include <cwchar>
#include <vector>

#include "common/product.h"
#include "deploy/deploy_constants.h"

namespace app {
namespace {

constexpr uint32_t kEnglishLanguage = 1033;
constexpr uint32_t kCreationValue = 100;
constexpr uintptr_t kNoModuleAddress = ~uintptr_t{0};

}  // namespace

CrashVersion CrashVersionFromText(const std::wstring& version) {
    std::vector<uint32_t> parts;
    size_t start = 0;
    while (start <= version.size()) {
        const size_t dot = version.find(L'.', start);
        const std::wstring part = version.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start);
        if (part.empty() || part.find_first_not_of(L"0123456789") != std::wstring::npos || part.size() > 9) return {};
        parts.push_back(static_cast<uint32_t>(wcstoul(part.c_str(), nullptr, 10)));
        if (dot == std::wstring::npos) break;
        start = dot + 1;
    }
    if (parts.size() < 2) return {};
    const uint32_t combined = parts[0] * 100 + parts[1];
    CrashVersion result;
    result.major = static_cast<uint16_t>(combined / 100);
    result.minor = static_cast<uint16_t>(combined % 100);
    if (parts.size() == 4) result.build = parts[2];
    return result;
}

diag::CrashIdentity MakeSetupCrashIdentity(const std::wstring& runningExe) {
    diag::CrashIdentity identity;
    identity.languageId = kEnglishLanguage;
    identity.productCode = product::kCrashProductCode;
    identity.displayName = deploy::kDisplayName;
    identity.productExecutable = runningExe;
    const CrashVersion version = CrashVersionFromText(product::kVersion);
    identity.versionMajor = version.major;
    identity.versionMinor = version.minor;
    identity.versionBuild = version.build;
    identity.flagA = true;
    identity.flagB = true;
    identity.creationValue = kCreationValue;
    identity.address = kNoModuleAddress;
    return identity;
}

}  // namespace app
