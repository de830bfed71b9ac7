#pragma once

#include <windows.h>

// Small owners for the kernel objects of the report manager.

class HandleOwner {
public:
    HandleOwner() = default;
    explicit HandleOwner(HANDLE handle) : m_handle(handle) {}
    ~HandleOwner() { Reset(); }
    HandleOwner(HandleOwner&& other) noexcept : m_handle(other.m_handle) { other.m_handle = nullptr; }
    HandleOwner& operator=(HandleOwner&& other) noexcept {
        if (this != &other) {
            Reset();
            m_handle = other.m_handle;
            other.m_handle = nullptr;
        }
        return *this;
    }
    HandleOwner(const HandleOwner&) = delete;
    HandleOwner& operator=(const HandleOwner&) = delete;

    HANDLE get() const { return m_handle; }
    bool valid() const { return m_handle && m_handle != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle = nullptr) {
        if (valid()) CloseHandle(m_handle);
        m_handle = handle;
    }

private:
    HANDLE m_handle = nullptr;
};

class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&m_section); }
    ~CriticalSection() { DeleteCriticalSection(&m_section); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void Enter() { EnterCriticalSection(&m_section); }
    void Leave() { LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& section) : m_section(section) { m_section.Enter(); }
    ~CriticalSectionLock() { m_section.Leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& m_section;
};
