// Test tool: lists the top-level windows of one process or of all processes, with their class,
// caption and the texts of their static and button children, and can press a button of the
// windows it found (for example to dismiss a message box found by caption and text).
//   winlist.exe [--pid=N] [--caption=TEXT] [--text=TEXT] [--class=NAME] [--all] [--json]
//               [--wait=MS] [--press=ID|TEXT]
// --caption, --class and --text select windows by exact caption, class name and static child
// text; --all includes hidden windows; --wait polls until a window matches or MS elapse;
// --press clicks, in every match, the button with that control id or that text.
// Output: one line per window (JSON objects with --json, with the screen rectangle and the edit
// boxes), UTF-8. Exit status: 0 when a window matched (and, with --press, a button was pressed in
// each), 1 when none matched or a button was missing, 2 for a usage error.
#include "tools/console_text.h"

#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Child {
    int id;
    std::wstring className;
    std::wstring text;
    HWND hwnd;
};

struct WindowInfo {
    HWND hwnd;
    DWORD pid;
    bool visible;
    std::wstring className;
    std::wstring caption;
    RECT rect;  // on the screen
    std::vector<Child> children;
};

struct Filter {
    DWORD pid = 0;
    bool all = false;
    bool hasCaption = false, hasText = false, hasClass = false;
    std::wstring caption, text, className;
};

// Text of a window of any process: WM_GETTEXT is marshalled across processes; the timeout keeps
// a hung window from hanging the tool.
std::wstring WindowText(HWND hwnd) {
    wchar_t buffer[2048] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, 1000, &copied)) {
        InternalGetWindowText(hwnd, buffer, 2048);
    }
    buffer[2047] = L'\0';
    return buffer;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return name;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM context) {
    auto* window = reinterpret_cast<WindowInfo*>(context);
    const std::wstring className = ClassOf(hwnd);
    if (_wcsicmp(className.c_str(), L"Static") == 0 || _wcsicmp(className.c_str(), L"Button") == 0 ||
        _wcsicmp(className.c_str(), L"Edit") == 0) {
        window->children.push_back({GetDlgCtrlID(hwnd), className, WindowText(hwnd), hwnd});
    }
    return TRUE;
}

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM context) {
    auto* windows = reinterpret_cast<std::vector<WindowInfo>*>(context);
    WindowInfo window;
    window.hwnd = hwnd;
    window.pid = 0;
    GetWindowThreadProcessId(hwnd, &window.pid);
    window.visible = IsWindowVisible(hwnd) != FALSE;
    window.className = ClassOf(hwnd);
    window.caption = WindowText(hwnd);
    window.rect = {};
    GetWindowRect(hwnd, &window.rect);
    EnumChildWindows(hwnd, CollectChild, reinterpret_cast<LPARAM>(&window));
    windows->push_back(std::move(window));
    return TRUE;
}

bool HasStaticText(const WindowInfo& window, const std::wstring& text) {
    for (const Child& child : window.children) {
        if (_wcsicmp(child.className.c_str(), L"Static") == 0 && child.text == text) return true;
    }
    return false;
}

bool Matches(const WindowInfo& window, const Filter& filter) {
    if (!filter.all && !window.visible) return false;
    if (filter.pid && window.pid != filter.pid) return false;
    if (filter.hasCaption && window.caption != filter.caption) return false;
    if (filter.hasClass && _wcsicmp(window.className.c_str(), filter.className.c_str()) != 0) return false;
    if (filter.hasText && !HasStaticText(window, filter.text)) return false;
    return true;
}

std::vector<WindowInfo> FindWindows(const Filter& filter) {
    std::vector<WindowInfo> all;
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&all));
    std::vector<WindowInfo> matching;
    for (WindowInfo& window : all) {
        if (Matches(window, filter)) matching.push_back(std::move(window));
    }
    return matching;
}

std::wstring HandleText(HWND hwnd) {
    wchar_t text[32];
    _snwprintf(text, 32, L"0x%Ix", reinterpret_cast<uintptr_t>(hwnd));
    text[31] = L'\0';
    return text;
}

std::wstring Describe(const WindowInfo& window, bool json) {
    std::wstring line;
    if (json) {
        line = L"{\"hwnd\": \"" + HandleText(window.hwnd) + L"\", \"pid\": " + tools::Decimal(window.pid) +
               L", \"visible\": " + (window.visible ? L"true" : L"false") +
               L", \"class\": " + tools::JsonQuote(window.className) +
               L", \"caption\": " + tools::JsonQuote(window.caption) + L", \"rect\": [" +
               std::to_wstring(window.rect.left) + L", " + std::to_wstring(window.rect.top) + L", " +
               std::to_wstring(window.rect.right) + L", " + std::to_wstring(window.rect.bottom) +
               L"], \"statics\": [";
        bool first = true;
        for (const Child& child : window.children) {
            if (_wcsicmp(child.className.c_str(), L"Static") != 0) continue;
            line += (first ? L"" : L", ") + tools::JsonQuote(child.text);
            first = false;
        }
        line += L"], \"buttons\": [";
        first = true;
        for (const Child& child : window.children) {
            if (_wcsicmp(child.className.c_str(), L"Button") != 0) continue;
            line += std::wstring(first ? L"" : L", ") + L"{\"id\": " + tools::Decimal(child.id) +
                    L", \"text\": " + tools::JsonQuote(child.text) + L"}";
            first = false;
        }
        line += L"], \"edits\": [";
        first = true;
        for (const Child& child : window.children) {
            if (_wcsicmp(child.className.c_str(), L"Edit") != 0) continue;
            line += std::wstring(first ? L"" : L", ") + L"{\"id\": " + tools::Decimal(child.id) +
                    L", \"text\": " + tools::JsonQuote(child.text) + L"}";
            first = false;
        }
        return line + L"]}\n";
    }
    line = HandleText(window.hwnd) + L" pid=" + tools::Decimal(window.pid) + L" class=" +
           tools::JsonQuote(window.className) + L" caption=" + tools::JsonQuote(window.caption) +
           (window.visible ? L"" : L" hidden") + L"\n";
    for (const Child& child : window.children) {
        line += L"  " + child.className + L" id=" + tools::Decimal(child.id) + L" " +
                tools::JsonQuote(child.text) + L"\n";
    }
    return line;
}

// Clicks the button the way the dialog would see a user's click: WM_COMMAND with BN_CLICKED
// from that control, posted so that a modal loop in the other process handles it.
bool PressButton(const WindowInfo& window, const std::wstring& which) {
    wchar_t* end = nullptr;
    const long id = wcstol(which.c_str(), &end, 10);
    const bool byId = !which.empty() && end && *end == L'\0';
    for (const Child& child : window.children) {
        if (_wcsicmp(child.className.c_str(), L"Button") != 0) continue;
        std::wstring plain;  // the text without its "&" accelerator marks
        for (wchar_t c : child.text) {
            if (c != L'&') plain += c;
        }
        if (byId ? child.id == id : (child.text == which || plain == which)) {
            return PostMessageW(window.hwnd, WM_COMMAND, MAKEWPARAM(child.id, BN_CLICKED),
                                reinterpret_cast<LPARAM>(child.hwnd)) != FALSE;
        }
    }
    return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Filter filter;
    bool json = false;
    DWORD wait = 0;
    std::wstring press, value;
    for (int i = 1; i < argc; ++i) {
        if (tools::MatchOption(argv[i], L"--pid", &value)) {
            filter.pid = static_cast<DWORD>(wcstoul(value.c_str(), nullptr, 10));
        } else if (tools::MatchOption(argv[i], L"--caption", &value)) {
            filter.hasCaption = true;
            filter.caption = value;
        } else if (tools::MatchOption(argv[i], L"--text", &value)) {
            filter.hasText = true;
            filter.text = value;
        } else if (tools::MatchOption(argv[i], L"--class", &value)) {
            filter.hasClass = true;
            filter.className = value;
        } else if (tools::MatchOption(argv[i], L"--all", &value)) {
            filter.all = true;
        } else if (tools::MatchOption(argv[i], L"--json", &value)) {
            json = true;
        } else if (tools::MatchOption(argv[i], L"--wait", &value)) {
            wait = static_cast<DWORD>(wcstoul(value.c_str(), nullptr, 10));
        } else if (tools::MatchOption(argv[i], L"--press", &value) && !value.empty()) {
            press = value;
        } else {
            tools::WriteErr(std::wstring(L"winlist: unknown option ") + argv[i] + L"\n");
            return 2;
        }
    }

    const ULONGLONG deadline = GetTickCount64() + wait;
    std::vector<WindowInfo> windows = FindWindows(filter);
    while (windows.empty() && GetTickCount64() < deadline) {
        Sleep(100);
        windows = FindWindows(filter);
    }

    bool allPressed = true;
    for (const WindowInfo& window : windows) {
        tools::WriteOut(Describe(window, json));
        if (!press.empty() && !PressButton(window, press)) {
            tools::WriteErr(L"winlist: no button " + press + L" in " + HandleText(window.hwnd) + L"\n");
            allPressed = false;
        }
    }
    return !windows.empty() && allPressed ? 0 : 1;
}
