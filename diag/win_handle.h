#pragma once

#include <windows.h>

#include <objbase.h>
#include <shtypes.h>

// Small owners for the system resources of every layer: each releases what it holds when it goes
// out of scope, so that no return path has to remember it. The resource owners share one shape:
// Get() for the raw value, IsValid() for "holds something", Reset() to release early or take
// another, Receive() for the functions that fill one in.

namespace diag {

// The owner itself: `Traits` names the raw type (Value), its "none" (None), what counts as holding
// something (IsValid) and how it is released (Close). Movable, so that a function can hand back
// what it opened.
template <typename Traits>
class ScopedResource {
public:
    using Value = typename Traits::Value;

    ScopedResource() = default;
    explicit ScopedResource(Value value) : m_value(value) {}
    ~ScopedResource() { Reset(); }
    ScopedResource(ScopedResource&& other) noexcept : m_value(other.m_value) {
        other.m_value = Traits::None();
    }
    ScopedResource& operator=(ScopedResource&& other) noexcept {
        if (this != &other) {
            Reset(other.m_value);
            other.m_value = Traits::None();
        }
        return *this;
    }
    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;

    bool IsValid() const { return Traits::IsValid(m_value); }
    Value Get() const { return m_value; }
    void Reset(Value value = Traits::None()) {
        if (IsValid()) Traits::Close(m_value);
        m_value = value;
    }
    // For the functions that fill in a new value (RegOpenKeyExW, SHGetSpecialFolderLocation);
    // releases the previous one first.
    Value* Receive() {
        Reset();
        return &m_value;
    }

private:
    Value m_value = Traits::None();
};

// A kernel handle from CreateFileW, CreateEventW and friends; both null and INVALID_HANDLE_VALUE
// mean none.
struct KernelHandleTraits {
    using Value = HANDLE;
    static HANDLE None() { return nullptr; }
    static bool IsValid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) { CloseHandle(handle); }
};
using ScopedHandle = ScopedResource<KernelHandleTraits>;

// A FindFirstFileW enumeration; INVALID_HANDLE_VALUE means none.
struct FindHandleTraits {
    using Value = HANDLE;
    static HANDLE None() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE find) { return find != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE find) { FindClose(find); }
};
using ScopedFindHandle = ScopedResource<FindHandleTraits>;

// An open registry key.
struct RegKeyTraits {
    using Value = HKEY;
    static HKEY None() { return nullptr; }
    static bool IsValid(HKEY key) { return key != nullptr; }
    static void Close(HKEY key) { RegCloseKey(key); }
};
using ScopedRegKey = ScopedResource<RegKeyTraits>;

// A shell item identifier list allocated by the shell (freed with CoTaskMemFree).
struct ItemIdListTraits {
    using Value = PIDLIST_ABSOLUTE;
    static PIDLIST_ABSOLUTE None() { return nullptr; }
    static bool IsValid(PIDLIST_ABSOLUTE list) { return list != nullptr; }
    static void Close(PIDLIST_ABSOLUTE list) { CoTaskMemFree(list); }
};
using ScopedItemIdList = ScopedResource<ItemIdListTraits>;

// A memory device context from CreateCompatibleDC (released with DeleteDC).
struct MemoryDcTraits {
    using Value = HDC;
    static HDC None() { return nullptr; }
    static bool IsValid(HDC dc) { return dc != nullptr; }
    static void Close(HDC dc) { DeleteDC(dc); }
};
using ScopedMemoryDc = ScopedResource<MemoryDcTraits>;

// A GDI object such as an HBITMAP, HFONT or HBRUSH (released with DeleteObject). It must no longer
// be selected into a device context when the owner lets go of it.
template <typename GdiObject>
struct GdiObjectTraits {
    using Value = GdiObject;
    static GdiObject None() { return nullptr; }
    static bool IsValid(GdiObject object) { return object != nullptr; }
    static void Close(GdiObject object) { DeleteObject(object); }
};
template <typename GdiObject>
using ScopedGdiObject = ScopedResource<GdiObjectTraits<GdiObject>>;

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
