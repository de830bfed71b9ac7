// Test program: the uninstall window over a fake uninstaller, configured from the command line,
// for tests/e2e/test_uninstall_window.py. Each call of the window's handler is appended as one
// UTF-8 line to the record file; the exit code is the window's result.
//   uninstall_window_probe.exe --record=FILE [--running] [--close-fails] [--remove-result=N]
//                              [--remove-ms=MS] [--steps=N] [--refusal=TEXT]
// Record lines: "IsClientRunning <answer> <thread>", "CloseClient <answer> <thread>",
// "Remove removeData=<0|1> <thread>", "Remove returns <result>"; <thread> is "window" on the
// window's thread and "worker" elsewhere.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "ui/uninstall/uninstall_window.h"

namespace {

struct ProbeOptions {
    std::wstring recordFile;
    bool clientRunning = false;
    bool closeFails = false;
    int removeResult = 0;
    int removeMs = 0;
    int steps = 1;
    std::wstring refusal;
};

bool TakeValue(const std::wstring& argument, const wchar_t* name, std::wstring& value) {
    const size_t length = wcslen(name);
    if (argument.compare(0, length, name) != 0) return false;
    value = argument.substr(length);
    return true;
}

bool ParseOptions(ProbeOptions& options) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) return false;
    bool valid = true;
    for (int i = 1; i < count; ++i) {
        const std::wstring argument = arguments[i];
        std::wstring value;
        if (argument == L"--running") options.clientRunning = true;
        else if (argument == L"--close-fails") options.closeFails = true;
        else if (TakeValue(argument, L"--record=", value)) options.recordFile = value;
        else if (TakeValue(argument, L"--remove-result=", value)) options.removeResult = _wtoi(value.c_str());
        else if (TakeValue(argument, L"--remove-ms=", value)) options.removeMs = _wtoi(value.c_str());
        else if (TakeValue(argument, L"--steps=", value)) options.steps = _wtoi(value.c_str());
        else if (TakeValue(argument, L"--refusal=", value)) options.refusal = value;
        else valid = false;
    }
    LocalFree(arguments);
    return valid && !options.recordFile.empty() && options.steps > 0;
}

class FakeUninstaller : public ui::UninstallWindowHandler {
public:
    FakeUninstaller(const ProbeOptions& options, DWORD windowThread)
        : m_options(options), m_windowThread(windowThread), m_clientRunning(options.clientRunning) {}

    bool IsClientRunning() override {
        Record(L"IsClientRunning " + std::to_wstring(m_clientRunning ? 1 : 0) + ThreadName());
        return m_clientRunning;
    }

    bool CloseClient() override {
        const bool closed = !m_options.closeFails;
        if (closed) m_clientRunning = false;
        Record(L"CloseClient " + std::to_wstring(closed ? 1 : 0) + ThreadName());
        return closed;
    }

    int Remove(bool removeData, const std::function<void(double)>& progress) override {
        Record(L"Remove removeData=" + std::to_wstring(removeData ? 1 : 0) + ThreadName());
        for (int step = 1; step <= m_options.steps; ++step) {
            Sleep(static_cast<DWORD>(m_options.removeMs / m_options.steps));
            progress(static_cast<double>(step) / m_options.steps);
        }
        Record(L"Remove returns " + std::to_wstring(m_options.removeResult));
        return m_options.removeResult;
    }

private:
    std::wstring ThreadName() const {
        return GetCurrentThreadId() == m_windowThread ? L" window" : L" worker";
    }

    // Appended and closed at once, so that a test reads every line while the window still runs.
    void Record(const std::wstring& line) {
        const std::wstring text = line + L"\n";
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                              nullptr, nullptr);
        std::string utf8(static_cast<size_t>(bytes), '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], bytes, nullptr,
                            nullptr);
        if (FILE* file = _wfopen(m_options.recordFile.c_str(), L"ab")) {
            fwrite(utf8.data(), 1, utf8.size(), file);
            fclose(file);
        }
    }

    const ProbeOptions& m_options;
    const DWORD m_windowThread;
    bool m_clientRunning;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    ProbeOptions options;
    if (!ParseOptions(options)) return 2;
    FakeUninstaller uninstaller(options, GetCurrentThreadId());
    return ui::RunUninstallWindow(instance, uninstaller, options.refusal);
}
