// The test builds' pause handshake. Never part of the shipped programs.
#include "app/test_pause_file.h"

#include <windows.h>

#include "diag/win_handle.h"

namespace {

constexpr int kWaitLimitMs = 120000;
constexpr int kPollMs = 50;

}  // namespace

std::wstring TestVariable(const wchar_t* name) {
    wchar_t value[MAX_PATH + 1] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH + 1);
    return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(value, length);
}

void PauseUntilResumed(const std::wstring& paused, const std::wstring& resume) {
    diag::ScopedHandle flag(
        CreateFileW(paused.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    flag.Reset();
    for (int waited = 0; waited < kWaitLimitMs && GetFileAttributesW(resume.c_str()) == INVALID_FILE_ATTRIBUTES;
         waited += kPollMs)
        Sleep(kPollMs);
}
