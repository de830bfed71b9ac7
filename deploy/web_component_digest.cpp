#include "deploy/web_component_digest.h"

#include <windows.h>

#include "deploy/deploy_constants.h"
#include "deploy/registry_value.h"
#include "diag/install_log.h"

std::wstring RecordedWebComponentDigest() {
    std::wstring digest;
    diag::ScopedRegKey key;
    if (OpenKeyForReading(HKEY_LOCAL_MACHINE, deploy::kProductKey, key))
        ReadStringValue(key.Get(), deploy::kValueWebComponentHash, digest);
    return digest;
}

bool RecordWebComponentDigest(const std::wstring& sha256) {
    diag::ScopedRegKey key;
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, deploy::kProductKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, key.Receive(), nullptr);
    if (result == ERROR_SUCCESS) result = WriteStringValue(key.Get(), deploy::kValueWebComponentHash, sha256);
    if (result != ERROR_SUCCESS) {
        InstallLog::Format(deploy::kLogWebComponentHashFailed, deploy::kProductKey, result);
        return false;
    }
    return true;
}
