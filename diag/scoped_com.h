#pragma once

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include "diag/win_handle.h"

// Owners for COM: an interface pointer, a BSTR and the thread's COM initialisation, each released
// when it goes out of scope.

namespace diag {

// An interface pointer handed out with one reference, released with Release().
template <typename Interface>
struct ComPointerTraits {
    using Value = Interface*;
    static Interface* None() { return nullptr; }
    static bool IsValid(Interface* pointer) { return pointer != nullptr; }
    static void Close(Interface* pointer) { pointer->Release(); }
};
template <typename Interface>
using ScopedComPointer = ScopedResource<ComPointerTraits<Interface>>;

// A string from SysAllocString (freed with SysFreeString).
struct BstrTraits {
    using Value = BSTR;
    static BSTR None() { return nullptr; }
    static bool IsValid(BSTR text) { return text != nullptr; }
    static void Close(BSTR text) { SysFreeString(text); }
};
using ScopedBstr = ScopedResource<BstrTraits>;

// CoInitializeEx for one scope. The thread may already be initialised in another apartment
// (RPC_E_CHANGED_MODE): COM is usable then, but only a successful call is undone.
class ScopedComApartment {
public:
    explicit ScopedComApartment(DWORD model) : m_result(CoInitializeEx(nullptr, model)) {}
    ~ScopedComApartment() {
        if (SUCCEEDED(m_result)) CoUninitialize();
    }
    ScopedComApartment(const ScopedComApartment&) = delete;
    ScopedComApartment& operator=(const ScopedComApartment&) = delete;

    bool IsUsable() const { return SUCCEEDED(m_result) || m_result == RPC_E_CHANGED_MODE; }
    HRESULT Result() const { return m_result; }

private:
    HRESULT m_result;
};

}  // namespace diag
