#pragma once

#include <windows.h>

#include <objbase.h>
#include <shtypes.h>

// Small owners for the system resources of every layer: each releases what it holds when it goes
// out of scope, so that no return path has to remember it. All share one shape: Get() for the raw
// value, IsValid() for "holds something", Reset() to release early or take another.

namespace diag {

// Owns a kernel handle from CreateFileW and friends; both null and INVALID_HANDLE_VALUE mean none.
// Movable, so that a function can hand back the handle it opened.
class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(HANDLE handle) : m_hHandle(handle) {}
    ~ScopedHandle() { Reset(); }
    ScopedHandle(ScopedHandle&& other) noexcept : m_hHandle(other.m_hHandle) {
        other.m_hHandle = nullptr;
    }
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            m_hHandle = other.m_hHandle;
            other.m_hHandle = nullptr;
        }
        return *this;
    }
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

// A FindFirstFileW enumeration; INVALID_HANDLE_VALUE means none.
class ScopedFindHandle {
public:
    explicit ScopedFindHandle(HANDLE handle) : m_hFind(handle) {}
    ~ScopedFindHandle() { Reset(); }
    ScopedFindHandle(const ScopedFindHandle&) = delete;
    ScopedFindHandle& operator=(const ScopedFindHandle&) = delete;

    bool IsValid() const { return m_hFind != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_hFind; }
    void Reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        if (IsValid()) FindClose(m_hFind);
        m_hFind = handle;
    }

private:
    HANDLE m_hFind;
};

// An open registry key.
class ScopedRegKey {
public:
    ScopedRegKey() = default;
    ~ScopedRegKey() { Reset(); }
    ScopedRegKey(const ScopedRegKey&) = delete;
    ScopedRegKey& operator=(const ScopedRegKey&) = delete;

    bool IsValid() const { return m_hKey != nullptr; }
    HKEY Get() const { return m_hKey; }
    // For the Reg*Key functions that fill in a new key; releases the previous one first.
    HKEY* Receive() {
        Reset();
        return &m_hKey;
    }
    void Reset() {
        if (m_hKey != nullptr) RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }

private:
    HKEY m_hKey = nullptr;
};

// A shell item identifier list allocated by the shell (freed with CoTaskMemFree).
class ScopedItemIdList {
public:
    ScopedItemIdList() = default;
    ~ScopedItemIdList() { CoTaskMemFree(m_pList); }
    ScopedItemIdList(const ScopedItemIdList&) = delete;
    ScopedItemIdList& operator=(const ScopedItemIdList&) = delete;

    bool IsValid() const { return m_pList != nullptr; }
    PIDLIST_ABSOLUTE Get() const { return m_pList; }
    PIDLIST_ABSOLUTE* Receive() {
        Reset();
        return &m_pList;
    }
    void Reset(PIDLIST_ABSOLUTE list = nullptr) {
        CoTaskMemFree(m_pList);
        m_pList = list;
    }

private:
    PIDLIST_ABSOLUTE m_pList = nullptr;
};

// A critical section for the lifetime of its owner; entered through CriticalSectionLock.
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

// Holds a CriticalSection for one scope.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& section) : m_section(section) {
        m_section.Enter();
    }
    ~CriticalSectionLock() { m_section.Leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& m_section;
};

// A memory device context from CreateCompatibleDC (released with DeleteDC).
class ScopedMemoryDc {
public:
    explicit ScopedMemoryDc(HDC dc) : m_hDc(dc) {}
    ~ScopedMemoryDc() { Reset(); }
    ScopedMemoryDc(const ScopedMemoryDc&) = delete;
    ScopedMemoryDc& operator=(const ScopedMemoryDc&) = delete;

    bool IsValid() const { return m_hDc != nullptr; }
    HDC Get() const { return m_hDc; }
    void Reset(HDC dc = nullptr) {
        if (m_hDc != nullptr) DeleteDC(m_hDc);
        m_hDc = dc;
    }

private:
    HDC m_hDc;
};

// A GDI object such as an HBITMAP, HFONT or HBRUSH (released with DeleteObject). It must no longer
// be selected into a device context when the owner lets go of it.
template <typename GdiObject>
class ScopedGdiObject {
public:
    explicit ScopedGdiObject(GdiObject object) : m_hObject(object) {}
    ~ScopedGdiObject() { Reset(); }
    ScopedGdiObject(const ScopedGdiObject&) = delete;
    ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;

    bool IsValid() const { return m_hObject != nullptr; }
    GdiObject Get() const { return m_hObject; }
    void Reset(GdiObject object = nullptr) {
        if (m_hObject != nullptr) DeleteObject(m_hObject);
        m_hObject = object;
    }

private:
    GdiObject m_hObject;
};

// Selects an object into a device context for one scope and puts the previous one back.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) : m_hDc(dc), m_hOld(SelectObject(dc, object)) {}
    ~ScopedSelectObject() { SelectObject(m_hDc, m_hOld); }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC m_hDc;
    HGDIOBJ m_hOld;
};

}  // namespace diag
