#pragma once

#include <windows.h>

namespace diag {

// Owns a kernel handle from CreateFileW and friends; both null and INVALID_HANDLE_VALUE mean none.
class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(HANDLE handle) : m_hHandle(handle) {}
    ~ScopedHandle() { Reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool IsValid() const { return m_hHandle != nullptr && m_hHandle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_hHandle; }
    void Reset(HANDLE handle = nullptr) {
        if (IsValid()) CloseHandle(m_hHandle);
        m_hHandle = handle;
    }

private:
    HANDLE m_hHandle = nullptr;
};

}  // namespace diag
