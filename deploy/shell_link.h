#pragma once

#include <string>

struct IPropertyStore;
struct IShellLinkW;

// Writing one shortcut (.lnk) file through the shell link object. The shortcut opens its target
// in a normal window with the target's folder as working folder and the target's own icon. Each
// call writes its timing line to the install log, and a failure its own line.

// A shortcut to `target` without arguments (the uninstall shortcut). False when either path is
// empty or the shortcut cannot be saved.
bool CreateFileShortcut(const std::wstring& target, const std::wstring& linkPath);

// A launch shortcut: `target` with `arguments`, carrying the application user-model identifier
// "Pelora" in its property store where the shell offers one. False when either path is empty or
// the shortcut cannot be saved.
bool CreateAppShortcut(const std::wstring& target, const std::wstring& linkPath, const std::wstring& arguments);

// Sets target, working folder, show command and arguments on a shell link object, and the
// application user-model identifier when `arguments` is given; what the two functions above save.
void FillShortcut(IShellLinkW* link, const std::wstring& target, const std::wstring* arguments);

// Stores the application user-model identifier "Pelora" (a wide string under
// PKEY_AppUserModel_ID) in `store` and commits it; false when the store refuses it.
bool StoreAppUserModelId(IPropertyStore* store);
