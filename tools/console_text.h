#pragma once

// Shared helpers of the test-only console tools: UTF-8 output on stdout (the tests read it from a
// Linux pipe, where the console code page would turn Chinese into "?"), an owner for kernel
// handles, and option parsing of the "--name=value" form.
#include <windows.h>

#include <string>

namespace tools {

class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle = nullptr) : m_hHandle(handle) {}
    ~ScopedHandle() { Reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    HANDLE Get() const { return m_hHandle; }
    bool Valid() const { return m_hHandle != nullptr && m_hHandle != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle = nullptr) {
        if (Valid()) CloseHandle(m_hHandle);
        m_hHandle = handle;
    }

private:
    HANDLE m_hHandle;
};

// Writes the text as UTF-8 to stdout (or stderr) at once, without buffering, so that a test
// waiting for a line sees it immediately.
void WriteOut(const std::wstring& text);
void WriteErr(const std::wstring& text);

std::string ToUtf8(const std::wstring& text);

// "--name=value" gives true and the value; "--name" alone gives true and an empty value.
bool MatchOption(const wchar_t* argument, const wchar_t* name, std::wstring* value);

// How long a holding tool holds: until a flag file appears and/or for some seconds.
struct HoldTime {
    std::wstring untilFile;
    DWORD seconds = 0;
};
// Takes "--until-file=PATH" and "--seconds=N"; false for any other argument.
bool MatchHoldOption(const wchar_t* argument, HoldTime* hold);
// Returns when the flag file exists or the seconds have passed (60 when neither was given).
void WaitForRelease(const HoldTime& hold);

// JSON string literal of the text, quotes included.
std::wstring JsonQuote(const std::wstring& text);

// Decimal text of a 32-bit number, as Windows sees it (signed).
std::wstring Decimal(long long value);

}  // namespace tools
