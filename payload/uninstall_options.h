#pragma once

#include <string>

// The uninstaller's command line: "/mode:noui" runs it without a window, as the setup's hidden
// mode does; "/removedata" removes the user's data too (the window asks instead). Option names
// and values are read in any letter case; anything else is ignored.
struct UninstallOptions {
    bool silent = false;
    bool removeData = false;
};

UninstallOptions ParseUninstallOptions(const std::wstring& commandLine);
