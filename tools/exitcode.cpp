// Test tool: starts a program, waits for it and prints its full 32-bit exit code, which Linux
// callers of Wine cannot see (they get only the low byte, so -1 arrives as 255).
//   exitcode.exe [--timeout=MS] PROGRAM [ARGUMENTS...]
//   exitcode.exe [--timeout=MS] --command-file=PATH
// Everything after the tool's own options is the child's command line, passed on verbatim. With
// --command-file the whole command line (program first) is the UTF-16LE text of PATH instead: a
// line that Wine's own quoting of Linux arguments would change (an unbalanced quote) or could not
// carry at all (half of a surrogate pair) reaches the child exactly as written.
// Output: "pid N" as soon as the child runs, then the exit code as a signed decimal number on
// the last line. Exit status: 0 when the code was read, 2 for a usage error or a failed start,
// 3 when the timeout elapsed (the child is then terminated and "timeout" is printed).
#include "tools/console_text.h"

#include <cwctype>
#include <string>

namespace {

// Skips one argument of a raw command line the way the runtime splits it for plain tokens:
// a quoted part runs to its closing quote, anything else to the next blank.
const wchar_t* SkipArgument(const wchar_t* text) {
    bool quoted = false;
    for (; *text; ++text) {
        if (*text == L'"') quoted = !quoted;
        else if (!quoted && (*text == L' ' || *text == L'\t')) break;
    }
    return text;
}

const wchar_t* SkipBlanks(const wchar_t* text) {
    while (*text == L' ' || *text == L'\t') ++text;
    return text;
}

// The UTF-16LE text of a file, without its byte-order mark; false when it cannot be read.
bool ReadCommandFile(const std::wstring& path, std::wstring& text) {
    tools::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    const DWORD size = GetFileSize(file.Get(), nullptr);
    if (size == INVALID_FILE_SIZE) return false;
    text.assign(size / sizeof(wchar_t), L'\0');
    DWORD read = 0;
    if (size > 0 && (!ReadFile(file.Get(), &text[0], size, &read, nullptr) || read != size)) return false;
    if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    DWORD timeout = INFINITE;
    int first = 1;
    std::wstring value;
    if (argc > 1 && tools::MatchOption(argv[1], L"--timeout", &value)) {
        timeout = static_cast<DWORD>(wcstoul(value.c_str(), nullptr, 10));
        first = 2;
    }
    std::wstring commandFile;
    if (argc == first + 1 && tools::MatchOption(argv[first], L"--command-file", &commandFile) && !commandFile.empty()) {
        ++first;
    }
    if (argc <= first && commandFile.empty()) {
        tools::WriteErr(L"usage: exitcode.exe [--timeout=MS] PROGRAM [ARGUMENTS...]\n"
                        L"       exitcode.exe [--timeout=MS] --command-file=PATH\n");
        return 2;
    }

    std::wstring commandLine;
    if (!commandFile.empty()) {
        if (!ReadCommandFile(commandFile, commandLine) || commandLine.empty()) {
            tools::WriteErr(L"exitcode: cannot read a command line from " + commandFile + L" (error " +
                            tools::Decimal(GetLastError()) + L")\n");
            return 2;
        }
    } else {
        // The child's command line is the raw text after our own arguments, so its quoting survives.
        const wchar_t* rest = SkipBlanks(GetCommandLineW());
        for (int skipped = 0; skipped < first; ++skipped) rest = SkipBlanks(SkipArgument(rest));
        commandLine = rest;
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // Wine now and then fails a process start with ERROR_INTERNAL_ERROR while the machine is
    // loaded; the program itself was never run then, so it is started once more.
    BOOL started = FALSE;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &process);
        if (!started && GetLastError() != ERROR_INTERNAL_ERROR) break;
        if (!started) Sleep(500);
    }
    if (!started) {
        tools::WriteErr(L"exitcode: cannot start " + commandLine + L" (error " +
                        tools::Decimal(GetLastError()) + L")\n");
        return 2;
    }
    tools::ScopedHandle processHandle(process.hProcess);
    tools::ScopedHandle threadHandle(process.hThread);
    tools::WriteOut(L"pid " + tools::Decimal(process.dwProcessId) + L"\n");

    if (WaitForSingleObject(processHandle.Get(), timeout) != WAIT_OBJECT_0) {
        TerminateProcess(processHandle.Get(), 0xDEAD);
        tools::WriteOut(L"timeout\n");
        return 3;
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(processHandle.Get(), &code)) {
        tools::WriteErr(L"exitcode: GetExitCodeProcess failed (error " +
                        tools::Decimal(GetLastError()) + L")\n");
        return 2;
    }
    tools::WriteOut(tools::Decimal(static_cast<LONG>(code)) + L"\n");
    return 0;
}
