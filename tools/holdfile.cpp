// Test tool: keeps a file open the way another program might, so that a test can play "the file is
// in use".
//   holdfile.exe PATH [--share=r|rw|rd|rwd|none] [--until-file=PATH] [--seconds=N]
// Opens PATH for reading with the given sharing (default "r": others may read, not write, rename
// or delete it), prints "ready", and closes it when the --until-file exists or after N seconds
// (60 when neither option is given). Exit status: 0 after a normal close, 1 when PATH could not be
// opened, 2 for a usage error.
#include "tools/console_text.h"

#include <cwchar>
#include <string>

namespace {

bool ParseShare(const std::wstring& text, DWORD* share) {
    *share = 0;
    if (text == L"none") return true;
    for (wchar_t c : text) {
        if (c == L'r') *share |= FILE_SHARE_READ;
        else if (c == L'w') *share |= FILE_SHARE_WRITE;
        else if (c == L'd') *share |= FILE_SHARE_DELETE;
        else return false;
    }
    return !text.empty();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || argv[1][0] == L'-') {
        tools::WriteErr(L"usage: holdfile.exe PATH [--share=r|rw|rd|rwd|none] [--until-file=PATH] [--seconds=N]\n");
        return 2;
    }
    DWORD share = FILE_SHARE_READ;
    tools::HoldTime hold;
    std::wstring value;
    for (int i = 2; i < argc; ++i) {
        if (tools::MatchOption(argv[i], L"--share", &value)) {
            if (!ParseShare(value, &share)) {
                tools::WriteErr(L"holdfile: bad --share " + value + L"\n");
                return 2;
            }
        } else if (!tools::MatchHoldOption(argv[i], &hold)) {
            tools::WriteErr(std::wstring(L"holdfile: unknown option ") + argv[i] + L"\n");
            return 2;
        }
    }

    tools::ScopedHandle file(CreateFileW(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        tools::WriteErr(L"holdfile: cannot open (error " + tools::Decimal(GetLastError()) + L")\n");
        return 1;
    }
    tools::WriteOut(L"ready\n");
    tools::WaitForRelease(hold);
    tools::WriteOut(L"closed\n");
    return 0;
}
