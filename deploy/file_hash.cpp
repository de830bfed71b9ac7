#include "deploy/file_hash.h"

#include <wincrypt.h>

#include <vector>

#include "deploy/registration_removal_constants.h"
#include "diag/install_log.h"
#include "diag/win_handle.h"

namespace {

constexpr DWORD kReadChunkBytes = 64 * 1024;
constexpr DWORD kSha256Bytes = 32;

struct CryptProviderTraits {
    using Value = HCRYPTPROV;
    static HCRYPTPROV None() { return 0; }
    static bool IsValid(HCRYPTPROV provider) { return provider != 0; }
    static void Close(HCRYPTPROV provider) { CryptReleaseContext(provider, 0); }
};
using ScopedCryptProvider = diag::ScopedResource<CryptProviderTraits>;

struct CryptHashTraits {
    using Value = HCRYPTHASH;
    static HCRYPTHASH None() { return 0; }
    static bool IsValid(HCRYPTHASH hash) { return hash != 0; }
    static void Close(HCRYPTHASH hash) { CryptDestroyHash(hash); }
};
using ScopedCryptHash = diag::ScopedResource<CryptHashTraits>;

std::wstring Failed(const wchar_t* call, const std::wstring& name) {
    InstallLog::Format(deploy::kLogHashFailed, name.c_str(), call, GetLastError());
    return std::wstring();
}

std::wstring Hex(const BYTE* bytes, DWORD count) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    for (DWORD i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

}  // namespace

std::wstring Sha256OfOpenFile(HANDLE file, const std::wstring& name) {
    ScopedCryptProvider provider;
    if (!CryptAcquireContextW(provider.Receive(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        return Failed(L"CryptAcquireContextW", name);
    ScopedCryptHash hash;
    if (!CryptCreateHash(provider.Get(), CALG_SHA_256, 0, 0, hash.Receive())) return Failed(L"CryptCreateHash", name);

    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return Failed(L"SetFilePointerEx", name);
    std::vector<BYTE> chunk(kReadChunkBytes);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, chunk.data(), kReadChunkBytes, &read, nullptr)) return Failed(L"ReadFile", name);
        if (read == 0) break;
        if (!CryptHashData(hash.Get(), chunk.data(), read, 0)) return Failed(L"CryptHashData", name);
    }
    BYTE digest[kSha256Bytes] = {};
    DWORD length = kSha256Bytes;
    if (!CryptGetHashParam(hash.Get(), HP_HASHVAL, digest, &length, 0) || length != kSha256Bytes)
        return Failed(L"CryptGetHashParam", name);
    return Hex(digest, length);
}

std::wstring Sha256OfFile(const std::wstring& path) {
    diag::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsValid()) return Failed(L"CreateFileW", path);
    return Sha256OfOpenFile(file.Get(), path);
}
