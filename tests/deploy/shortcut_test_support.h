#pragma once

#include <string>

// What a shortcut file holds, read back through the shell link object.
struct ShortcutContents {
    bool loaded = false;
    std::wstring target;
    std::wstring arguments;
    std::wstring workingFolder;
    std::wstring iconFile;
    int iconIndex = 0;
    int showCommand = 0;
};

ShortcutContents ReadShortcut(const std::wstring& linkPath);

struct IPropertyStore;

// The application user-model identifier held in `store`; empty when it holds none or not as a
// wide string.
std::wstring ReadAppUserModelId(IPropertyStore* store);
