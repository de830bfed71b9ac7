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
    tools::HoldTime hold;
    for (int i = 2; i < argc; ++i) {
        if (!tools::MatchHoldOption(argv[i], &hold)) {
            tools::WriteErr(std::wstring(L"mutexhold: unknown option ") + argv[i] + L"\n");
            return 2;
        }
    }

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

    tools::WaitForRelease(hold);
    ReleaseMutex(mutex.Get());
    tools::WriteOut(L"released\n");
    return 0;
}
