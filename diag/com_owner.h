#pragma once

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

// Owners for COM: the apartment of one thread for one scope, an interface pointer and a BSTR. Same
// shape as the owners of diag/win_handle.h (Get, IsValid, Reset, Receive).

namespace diag {

// CoInitialize for one scope; uninitialises only when the call succeeded (S_FALSE included, which
// also counts once).
class ScopedComApartment {
public:
    ScopedComApartment() : m_result(CoInitialize(nullptr)) {}
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

// One reference to a COM interface, released when the owner goes.
template <typename Interface>
class ComOwner {
public:
    ComOwner() = default;
    ~ComOwner() { Reset(); }
    ComOwner(ComOwner&& other) noexcept : m_pointer(other.m_pointer) { other.m_pointer = nullptr; }
    ComOwner& operator=(ComOwner&& other) noexcept {
        if (this != &other) {
            Reset();
            m_pointer = other.m_pointer;
            other.m_pointer = nullptr;
        }
        return *this;
    }
    ComOwner(const ComOwner&) = delete;
    ComOwner& operator=(const ComOwner&) = delete;

    bool IsValid() const { return m_pointer != nullptr; }
    Interface* Get() const { return m_pointer; }
    Interface* operator->() const { return m_pointer; }
    void Reset() {
        if (m_pointer) m_pointer->Release();
        m_pointer = nullptr;
    }
    // For the calls that hand out a new reference (CoCreateInstance, get_..., Create).
    Interface** Receive() {
        Reset();
        return &m_pointer;
    }
    // For QueryInterface and CoCreateInstance, which take a void**.
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

private:
    Interface* m_pointer = nullptr;
};

// A BSTR made from a wide string, freed with SysFreeString.
class ScopedBstr {
public:
    ScopedBstr() = default;
    explicit ScopedBstr(const wchar_t* text) : m_value(SysAllocString(text)) {}
    ~ScopedBstr() { Reset(); }
    ScopedBstr(const ScopedBstr&) = delete;
    ScopedBstr& operator=(const ScopedBstr&) = delete;

    bool IsValid() const { return m_value != nullptr; }
    BSTR Get() const { return m_value; }
    void Reset() {
        if (m_value) SysFreeString(m_value);
        m_value = nullptr;
    }
    BSTR* Receive() {
        Reset();
        return &m_value;
    }

private:
    BSTR m_value = nullptr;
};

}  // namespace diag
