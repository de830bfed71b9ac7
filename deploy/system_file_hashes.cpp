#include "deploy/system_file_hashes.h"

#include <windows.h>

#include "deploy/deploy_constants.h"
#include "deploy/file_hash.h"
#include "deploy/registered_path.h"
#include "deploy/registration_removal_constants.h"
#include "deploy/registry_keys.h"
#include "deploy/registry_value.h"
#include "diag/install_log.h"

namespace {

std::vector<SystemFileHash> Parse(const std::vector<std::wstring>& items) {
    std::vector<SystemFileHash> hashes;
    for (const std::wstring& item : items) {
        const size_t separator = item.rfind(deploy::kSystemFileHashSeparator);
        if (separator == std::wstring::npos || separator == 0 || separator + 1 == item.size()) continue;
        hashes.push_back({item.substr(0, separator), item.substr(separator + 1)});
    }
    return hashes;
}

std::vector<std::wstring> Format(const std::vector<SystemFileHash>& hashes) {
    std::vector<std::wstring> items;
    for (const SystemFileHash& hash : hashes)
        items.push_back(hash.path + deploy::kSystemFileHashSeparator + hash.sha256);
    return items;
}

bool Names(const std::vector<std::wstring>& paths, const std::wstring& path) {
    for (const std::wstring& listed : paths) {
        if (NamesSamePath(listed, path)) return true;
    }
    return false;
}

}  // namespace

std::vector<SystemFileHash> ReadSystemFileHashes() {
    std::vector<std::wstring> items;
    diag::ScopedRegKey key;
    if (OpenKeyForReading(HKEY_LOCAL_MACHINE, deploy::kProductKey, key))
        ReadMultiStringValue(key.Get(), deploy::kValueSystemFileHashes, items);
    return Parse(items);
}

std::wstring RecordedHashOf(const std::vector<SystemFileHash>& hashes, const std::wstring& path) {
    for (const SystemFileHash& hash : hashes) {
        if (NamesSamePath(hash.path, path)) return hash.sha256;
    }
    return std::wstring();
}

bool RecordSystemFileHashes(const std::vector<std::wstring>& created) {
    if (created.empty()) return true;
    diag::ScopedRegKey key;
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, deploy::kProductKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, key.Receive(), nullptr);
    if (result != ERROR_SUCCESS) {
        InstallLog::Format(deploy::kLogSystemFileHashesRecordFailed, deploy::kProductKey, result);
        return false;
    }
    std::vector<std::wstring> items;
    ReadMultiStringValue(key.Get(), deploy::kValueSystemFileHashes, items);
    std::vector<SystemFileHash> hashes;
    for (const SystemFileHash& hash : Parse(items)) {
        if (!Names(created, hash.path)) hashes.push_back(hash);
    }
    bool complete = true;
    for (const std::wstring& path : created) {
        const std::wstring sha256 = Sha256OfFile(path);  // logs why when it cannot
        if (sha256.empty()) {
            complete = false;
            continue;
        }
        hashes.push_back({path, sha256});
    }
    result = WriteMultiStringValue(key.Get(), deploy::kValueSystemFileHashes, Format(hashes));
    if (result == ERROR_SUCCESS) return complete;
    InstallLog::Format(deploy::kLogSystemFileHashesRecordFailed, deploy::kProductKey, result);
    return false;
}

void KeepSystemFileHashes(const std::vector<std::wstring>& listed) {
    diag::ScopedRegKey key;
    LONG result =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, deploy::kProductKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.Receive());
    if (result == ERROR_FILE_NOT_FOUND) return;
    if (result == ERROR_SUCCESS) {
        std::vector<std::wstring> items;
        if (!ReadMultiStringValue(key.Get(), deploy::kValueSystemFileHashes, items)) return;
        std::vector<SystemFileHash> kept;
        for (const SystemFileHash& hash : Parse(items)) {
            if (Names(listed, hash.path)) kept.push_back(hash);
        }
        result = kept.empty() ? RegDeleteValueW(key.Get(), deploy::kValueSystemFileHashes)
                              : WriteMultiStringValue(key.Get(), deploy::kValueSystemFileHashes, Format(kept));
    }
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
        InstallLog::Format(deploy::kLogUndoFailed, HiveName(HKEY_LOCAL_MACHINE), deploy::kProductKey,
                           deploy::kValueSystemFileHashes, result);
}
