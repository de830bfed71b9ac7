#pragma once

#include <cstdint>
#include <string>

// Fatal errors of a run. They are heap objects handed to IInstallClient::OnError, whose receiver
// owns and deletes them; they are never thrown.
class InstallError {
public:
    enum Code : int32_t {
        kRemoveOldVersionFailed = 0,
        kUnknown = 1,
        kExtractOrDeploy = 2,  // always an ExtractError
    };

    explicit InstallError(int32_t code) : m_nCode(code) {}
    virtual ~InstallError() = default;

    int32_t Code() const { return m_nCode; }

private:
    int32_t m_nCode;
};

// The payload could not be extracted (DiskLow() tells whether too little disk space is the likely
// cause) or a file could not be deployed (Message() names its target path).
class ExtractError : public InstallError {
public:
    explicit ExtractError(bool diskLow) : InstallError(kExtractOrDeploy), m_bDiskLow(diskLow) {}
    explicit ExtractError(std::wstring message)
        : InstallError(kExtractOrDeploy), m_bDiskLow(false), m_strMessage(std::move(message)) {}

    bool DiskLow() const { return m_bDiskLow; }
    const std::wstring& Message() const { return m_strMessage; }

private:
    bool m_bDiskLow;
    std::wstring m_strMessage;
};
