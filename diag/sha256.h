#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <cstddef>
#include <string>

namespace diag {

// SHA-256 over bytes fed piece by piece, through the system's CryptoAPI (the RSA/AES provider,
// which Windows has from XP SP3 on; one provider serves the whole process). The digest is written
// as 64 lower-case hexadecimal digits.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // False once any call has failed (the system has no SHA-256, or hashing failed); the failing
    // call's name is then in FailedCall and GetLastError tells why.
    bool IsUsable() const { return m_failedCall == nullptr; }
    const wchar_t* FailedCall() const { return m_failedCall; }

    void Add(const void* data, size_t size);
    // The digest of everything added; empty when the hash is not usable. Ends the hash.
    std::wstring Finish();

private:
    HCRYPTHASH m_hash = 0;
    const wchar_t* m_failedCall = nullptr;
};

}  // namespace diag
