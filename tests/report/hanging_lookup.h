#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "diag/win_handle.h"

// A name lookup that never answers until the test lets it go: the report thread that calls it
// is stuck inside the lookup, where no stop request reaches it.
class HangingLookup {
public:
    HangingLookup()
        : m_release(std::make_shared<diag::ScopedHandle>(CreateEventW(nullptr, TRUE, FALSE, nullptr))),
          m_entered(std::make_shared<diag::ScopedHandle>(CreateEventW(nullptr, TRUE, FALSE, nullptr))) {}
    // Lets the stuck thread go; told to stop, it then sends nothing and ends.
    ~HangingLookup() { SetEvent(m_release->Get()); }

    std::function<uint32_t(const std::wstring&)> Resolver() const {
        auto release = m_release;
        auto entered = m_entered;
        return [release, entered](const std::wstring&) {
            SetEvent(entered->Get());
            WaitForSingleObject(release->Get(), INFINITE);
            return static_cast<uint32_t>(INADDR_NONE);
        };
    }
    bool WaitUntilEntered(DWORD limitMs) const {
        return WaitForSingleObject(m_entered->Get(), limitMs) == WAIT_OBJECT_0;
    }

private:
    std::shared_ptr<diag::ScopedHandle> m_release;
    std::shared_ptr<diag::ScopedHandle> m_entered;
};
