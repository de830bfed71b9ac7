// Test program that does nothing for a while (60 s, or the seconds given as its argument). Copies
// of it under the client's and the updater's names play running processes.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    const long seconds = argc > 1 ? wcstol(argv[1], nullptr, 10) : 60;
    Sleep(static_cast<DWORD>(seconds) * 1000);
    return 0;
}
