#pragma once

#include <objbase.h>

// Owners for COM on the install engine's worker thread, which initialises COM for each shell
// operation itself and lets go of it afterwards.

namespace deploy {

// CoInitializeEx in apartment mode for one scope; uninitialised only when it succeeded.
class ScopedComApartment {
public:
    ScopedComApartment() : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ScopedComApartment() {
        if (SUCCEEDED(m_result)) CoUninitialize();
    }
    ScopedComApartment(const ScopedComApartment&) = delete;
    ScopedComApartment& operator=(const ScopedComApartment&) = delete;

    bool IsReady() const { return SUCCEEDED(m_result); }
    HRESULT Result() const { return m_result; }

private:
    HRESULT m_result;
};

// One reference to a COM interface, released when the owner goes out of scope.
template <typename Interface>
class ScopedComPtr {
public:
    ScopedComPtr() = default;
    ~ScopedComPtr() { Reset(); }
    ScopedComPtr(const ScopedComPtr&) = delete;
    ScopedComPtr& operator=(const ScopedComPtr&) = delete;

    Interface* Get() const { return m_pointer; }
    Interface* operator->() const { return m_pointer; }
    bool IsValid() const { return m_pointer != nullptr; }
    void Reset() {
        if (m_pointer) m_pointer->Release();
        m_pointer = nullptr;
    }
    // For CoCreateInstance and QueryInterface; releases the previous reference first.
    void** Receive() {
        Reset();
        return reinterpret_cast<void**>(&m_pointer);
    }

private:
    Interface* m_pointer = nullptr;
};

}  // namespace deploy
