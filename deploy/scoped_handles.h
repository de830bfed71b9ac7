#pragma once

#include <windows.h>

#include <shlobj.h>

// Small owners for the system handles of the deployment steps: each releases its handle when it
// goes out of scope, so that no return path has to remember it.

// A kernel object handle; both null and INVALID_HANDLE_VALUE mean "none".
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle = nullptr) : m_hHandle(handle) {}
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
    HANDLE m_hHandle;
};

// A FindFirstFileW enumeration.
class ScopedFindHandle {
public:
    explicit ScopedFindHandle(HANDLE handle) : m_hFind(handle) {}
    ~ScopedFindHandle() {
        if (IsValid()) FindClose(m_hFind);
    }
    ScopedFindHandle(const ScopedFindHandle&) = delete;
    ScopedFindHandle& operator=(const ScopedFindHandle&) = delete;

    bool IsValid() const { return m_hFind != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_hFind; }

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

    PIDLIST_ABSOLUTE Get() const { return m_pList; }
    PIDLIST_ABSOLUTE* Receive() {
        CoTaskMemFree(m_pList);
        m_pList = nullptr;
        return &m_pList;
    }
    void Reset(PIDLIST_ABSOLUTE list) {
        CoTaskMemFree(m_pList);
        m_pList = list;
    }

private:
    PIDLIST_ABSOLUTE m_pList = nullptr;
};
