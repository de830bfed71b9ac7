#pragma once

#include <cstdint>
#include <string>

// What the shortcuts ask of the shell besides writing files: taskbar and start-menu pins and the
// change notices. The requests are fire-and-forget; only the start-menu unpin reports whether it
// could be asked at all. Tests substitute a recorder for the system's requests.
class ShellPinRequests {
public:
    virtual ~ShellPinRequests() = default;
    // ShellExecute of `verb` on `file` with `parameters`, window hidden, no error dialog.
    virtual void ExecuteHidden(const wchar_t* verb, const std::wstring& file, const std::wstring& parameters) = 0;
    virtual bool UnpinFromStartMenu(const std::wstring& path) = 0;
    // Tells the shell that the file at `path` is gone (SHCNE_DELETE).
    virtual void NotifyDeleted(const std::wstring& path) = 0;
};

// The requests the running Windows receives.
ShellPinRequests& SystemShellPinRequests();

// Removes `path` from the start menu's pinned list through the start-menu pin object. True at once
// below Windows Vista (`osVersionCode` below 0x600), where there is no such list; false when COM,
// the shell item of `path` or the pin object is not available.
bool UnpinFromStartMenu(const std::wstring& path, uint32_t osVersionCode);
