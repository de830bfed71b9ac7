#include "deploy/removal_plan.h"

#include <windows.h>

#include <tinyxml.h>

#include <cstring>

#include "deploy/deploy_constants.h"
#include "deploy/install_manifest.h"
#include "deploy/install_paths.h"
#include "deploy/removal_constants.h"
#include "diag/text_format.h"

namespace {

// Deeper than any install the setup makes; a manifest nested further was not written by it.
constexpr int kMaxDepth = 64;

class PlanReader {
public:
    PlanReader(const std::wstring& keepFolderName, RemovalPlan& plan, std::wstring& problem)
        : m_keep(keepFolderName), m_plan(plan), m_problem(problem) {}

    bool ReadFolder(const std::wstring& folder, const TiXmlElement& element, int depth) {
        if (depth > kMaxDepth) return Refuse(deploy::kRefuseManifestTooDeep, folder);
        for (const TiXmlElement* child = element.FirstChildElement(); child != nullptr;
             child = child->NextSiblingElement()) {
            std::wstring name;
            if (!ReadManifestName(*child, name) || !IsPlainEntryName(name))
                return Refuse(deploy::kRefuseManifestName, folder + L"\\" + name);
            const std::wstring path = JoinPath(folder, name);
            if (path.size() >= MAX_PATH) return Refuse(deploy::kRefuseManifestName, path);
            const bool isFolder = IsFolderElement(*child);
            if (!isFolder && std::strcmp(child->Value(), deploy::kManifestFileElement) != 0)
                return Refuse(deploy::kRefuseManifestName, path);
            if (isFolder) {
                if (depth == 0 && !m_keep.empty() && _wcsicmp(name.c_str(), m_keep.c_str()) == 0) continue;
                if (!ReadFolder(path, *child, depth + 1)) return false;
                m_plan.entries.push_back({path, true, 0});
                continue;
            }
            const uint64_t size = static_cast<uint64_t>(ReadManifestSize(*child)) & 0xFFFFFFFFu;
            m_plan.entries.push_back({path, false, size});
            m_plan.totalBytes += size;
        }
        return true;
    }

private:
    bool Refuse(const wchar_t* format, const std::wstring& path) {
        m_problem = FormatText(format, path.c_str());
        return false;
    }

    const std::wstring& m_keep;
    RemovalPlan& m_plan;
    std::wstring& m_problem;
};

}  // namespace

bool IsPlainEntryName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    for (wchar_t c : name) {
        if (c < 0x20 || wcschr(L"\\/:*?\"<>|", c) != nullptr) return false;
    }
    const wchar_t last = name.back();
    return last != L'.' && last != L' ';
}

bool ReadRemovalPlan(const std::wstring& versionFolder, const std::wstring& keepFolderName, RemovalPlan& plan,
                     std::wstring& problem) {
    plan = RemovalPlan();
    const std::wstring manifestPath = JoinPath(versionFolder, deploy::kManifestFileName);
    TiXmlDocument document;
    if (!LoadManifest(document, manifestPath)) {
        problem = FormatText(deploy::kRefuseManifestUnreadable, manifestPath.c_str());
        return false;
    }
    PlanReader reader(keepFolderName, plan, problem);
    if (reader.ReadFolder(versionFolder, *document.RootElement(), 0)) return true;
    plan = RemovalPlan();
    return false;
}
