#include "deploy/files/held_folder.h"

#include <windows.h>

#include <shlwapi.h>

#include "deploy/files/file_texts.h"
#include "deploy/files/path_identity.h"
#include "diag/install_log.h"

namespace files {
namespace {

constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;

std::wstring UpperCase(std::wstring text) {
    if (!text.empty()) CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    return folder.empty() || folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

}  // namespace

diag::ScopedHandle OpenListedEntry(HANDLE parent, const FolderEntry& entry, DWORD access, bool* swapped) {
    if (swapped) *swapped = false;
    if (entry.IsLink()) return diag::ScopedHandle();
    diag::ScopedHandle handle = OpenInFolder(parent, entry.name, access | FILE_READ_ATTRIBUTES, Sharing::kNoDelete);
    if (!handle.IsValid()) return handle;
    FileIdentity identity;
    DWORD attributes = 0;
    // Where the system opens a link as itself, the handle shows it; where it follows links (Wine),
    // the object reached has another index than the entry that was listed.
    const bool isLink = !QueryIdentity(handle.Get(), identity, &attributes) ||
                        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool otherObject = entry.id != 0 && identity.index != entry.id;
    const bool otherKind = ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != entry.IsFolder();
    if (isLink || otherObject || otherKind) {
        if (swapped) *swapped = true;
        SetLastError(ERROR_REPARSE_TAG_MISMATCH);
        return diag::ScopedHandle();
    }
    return handle;
}

bool HeldFolder::FindEntry(const std::wstring& name, FolderEntry& found) const {
    std::vector<FolderEntry> entries;
    if (!ListFolder(m_handle.Get(), entries)) return false;
    const std::wstring wanted = UpperCase(name);
    for (FolderEntry& entry : entries) {
        if (UpperCase(entry.name) == wanted) {
            found = std::move(entry);
            return true;
        }
    }
    return false;
}

void HeldFolder::LogRefusal(const std::wstring& path) const {
    InstallLog::Format(deploy::kLogPathNotHeld, path.c_str(), m_reason, m_refusedAt.c_str(), m_error);
}

HeldFolder HeldFolder::Refused(const std::wstring& at, const wchar_t* reason) && {
    m_error = GetLastError();
    m_handle.Reset();
    m_above.clear();
    m_refusedAt = at;
    m_reason = reason;
    return std::move(*this);
}

HeldFolder HeldFolder::OpenChild(const FolderEntry& entry, bool forDeletion) const {
    HeldFolder child;
    child.m_path = Join(m_path, entry.name);
    if (entry.IsLink()) return std::move(child).Refused(child.m_path, L"link");
    if (!entry.IsFolder()) return std::move(child).Refused(child.m_path, L"no folder");
    bool swapped = false;
    child.m_handle = OpenListedEntry(m_handle.Get(), entry, kFolderAccess | (forDeletion ? DELETE : 0), &swapped);
    if (!child.m_handle.IsValid()) return std::move(child).Refused(child.m_path, swapped ? L"swapped" : L"open failed");
    return child;
}

HeldFolder HeldFolder::Open(const std::wstring& path, const std::wstring& holdFrom, bool forDeletion) {
    HeldFolder held;
    const std::wstring full = FullPath(path);
    held.m_path = full;
    const wchar_t* afterRoot = full.empty() ? nullptr : PathSkipRootW(full.c_str());
    if (afterRoot == nullptr) return std::move(held).Refused(path, L"no folder");
    const std::wstring holdText = holdFrom.empty() ? std::wstring() : NormalisedPath(holdFrom);

    size_t end = static_cast<size_t>(afterRoot - full.c_str());
    diag::ScopedHandle current = OpenForIdentity(full.substr(0, end), kFolderAccess);
    if (!current.IsValid()) return std::move(held).Refused(full.substr(0, end), L"open failed");
    bool holding = false;
    while (end < full.size()) {
        size_t slash = full.find(L'\\', end);
        if (slash == std::wstring::npos) slash = full.size();
        const std::wstring prefix = full.substr(0, slash);
        const bool last = slash == full.size();
        holding = holding || (!holdText.empty() && UpperCase(prefix) == holdText);

        HeldFolder above;
        above.m_handle = std::move(current);
        FolderEntry entry;
        if (!above.FindEntry(full.substr(end, slash - end), entry)) return std::move(held).Refused(prefix, L"missing");
        if (entry.IsLink()) return std::move(held).Refused(prefix, L"link");
        if (!entry.IsFolder()) return std::move(held).Refused(prefix, L"no folder");
        bool swapped = false;
        const DWORD access = kFolderAccess | (last && forDeletion ? DELETE : 0);
        // Above the held part, others may go on renaming: everything below is reached through
        // the handles, not through these names.
        current = (holding || last) ? OpenListedEntry(above.m_handle.Get(), entry, access, &swapped)
                                    : OpenInFolder(above.m_handle.Get(), entry.name, access, Sharing::kAll);
        if (current.IsValid() && !(holding || last)) {
            FileIdentity identity;
            DWORD attributes = 0;
            swapped = !QueryIdentity(current.Get(), identity, &attributes) ||
                      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || (entry.id != 0 && identity.index != entry.id);
            if (swapped) current.Reset();
        }
        if (!current.IsValid()) return std::move(held).Refused(prefix, swapped ? L"swapped" : L"open failed");
        held.m_above.push_back(std::move(above.m_handle));
        end = slash + 1;
    }
    held.m_handle = std::move(current);
    return held;
}

}  // namespace files
