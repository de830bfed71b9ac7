// Test tool: takes a named mutex and holds it, so that a test can play "another instance is
// already running".
//   mutexhold.exe NAME [--until-file=PATH] [--seconds=N]
// Prints "ready" once it owns the mutex and "released" when it lets go, which happens when PATH
// exists or after N seconds (60 when neither option is given).
// Exit status: 0 after a normal release, 1 when the mutex already existed (it is then not held
// by this tool and "busy" is printed), 2 for a usage error.
#include "tools/console_text.h"

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || argv[1][0] == L'-') {
        tools::WriteErr(L"usage: mutexhold.exe NAME [--until-file=PATH] [--seconds=N]\n");
        return 2;
    }
    std::wstring untilFile;
    DWORD seconds = 0;
    std::wstring value;
    for (int i = 2; i < argc; ++i) {
        if (tools::MatchOption(argv[i], L"--until-file", &value)) {
            untilFile = value;
        } else if (tools::MatchOption(argv[i], L"--seconds", &value)) {
            seconds = static_cast<DWORD>(wcstoul(value.c_str(), nullptr, 10));
        } else {
            tools::WriteErr(std::wstring(L"mutexhold: unknown option ") + argv[i] + L"\n");
            return 2;
        }
    }
    if (untilFile.empty() && seconds == 0) seconds = 60;

    tools::ScopedHandle mutex(CreateMutexW(nullptr, TRUE, argv[1]));
    const DWORD createError = GetLastError();
    if (!mutex.Valid()) {
        tools::WriteErr(L"mutexhold: CreateMutexW failed (error " + tools::Decimal(createError) + L")\n");
        return 2;
    }
    if (createError == ERROR_ALREADY_EXISTS) {
        tools::WriteOut(L"busy\n");
        return 1;
    }
    tools::WriteOut(L"ready\n");

    const ULONGLONG deadline = seconds ? GetTickCount64() + seconds * 1000ULL : 0;
    for (;;) {
        if (!untilFile.empty() && GetFileAttributesW(untilFile.c_str()) != INVALID_FILE_ATTRIBUTES) break;
        if (deadline && GetTickCount64() >= deadline) break;
        Sleep(50);
    }
    ReleaseMutex(mutex.Get());
    tools::WriteOut(L"released\n");
    return 0;
}
