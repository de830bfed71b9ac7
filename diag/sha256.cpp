#include "diag/sha256.h"

namespace diag {

namespace {

constexpr DWORD kSha256Bytes = 32;
// CryptHashData takes a DWORD count: larger inputs are fed in pieces.
constexpr size_t kMaxPieceBytes = 0x10000000;

std::wstring Hex(const BYTE* bytes, DWORD count) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    for (DWORD i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

// One provider for the whole process, made at the first hash and kept until the process ends:
// acquiring a provider loads its libraries and releasing the last one unloads them again, which
// cost 10 to 30 ms for every file hashed under Wine. A provider may serve several threads; each
// hash object stays with its own.
class SharedProvider {
public:
    SharedProvider() {
        if (!CryptAcquireContextW(&m_handle, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
            m_error = GetLastError();
            m_handle = 0;
        }
    }
    // 0 when there is none; GetLastError then tells why.
    HCRYPTPROV Get() const {
        if (m_handle == 0) SetLastError(m_error);
        return m_handle;
    }

private:
    HCRYPTPROV m_handle = 0;
    DWORD m_error = ERROR_SUCCESS;
};

HCRYPTPROV Provider() {
    static const SharedProvider provider;
    return provider.Get();
}

}  // namespace

Sha256::Sha256() {
    const HCRYPTPROV provider = Provider();
    if (provider == 0) {
        m_failedCall = L"CryptAcquireContextW";
    } else if (!CryptCreateHash(provider, CALG_SHA_256, 0, 0, &m_hash)) {
        m_hash = 0;
        m_failedCall = L"CryptCreateHash";
    }
}

Sha256::~Sha256() {
    if (m_hash) CryptDestroyHash(m_hash);
}

void Sha256::Add(const void* data, size_t size) {
    const BYTE* bytes = static_cast<const BYTE*>(data);
    while (IsUsable() && size > 0) {
        const size_t piece = size < kMaxPieceBytes ? size : kMaxPieceBytes;
        if (!CryptHashData(m_hash, bytes, static_cast<DWORD>(piece), 0)) m_failedCall = L"CryptHashData";
        bytes += piece;
        size -= piece;
    }
}

std::wstring Sha256::Finish() {
    if (!IsUsable()) return std::wstring();
    BYTE digest[kSha256Bytes] = {};
    DWORD length = kSha256Bytes;
    if (!CryptGetHashParam(m_hash, HP_HASHVAL, digest, &length, 0) || length != kSha256Bytes) {
        m_failedCall = L"CryptGetHashParam";
        return std::wstring();
    }
    return Hex(digest, length);
}

}  // namespace diag
