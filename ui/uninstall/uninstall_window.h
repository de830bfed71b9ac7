#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace ui {

// What the uninstall window asks of the uninstaller. The program implements it over the real
// removal; tests fake it. IsClientRunning and CloseClient are called on the window's thread;
// Remove runs on a worker thread the window starts, so the window keeps answering meanwhile.
class UninstallWindowHandler {
public:
    virtual ~UninstallWindowHandler() = default;

    // Whether the client of this install is running now.
    virtual bool IsClientRunning() = 0;
    // Ends the running client; false when it could not be ended.
    virtual bool CloseClient() = 0;
    // Removes the product, and the user's data too when `removeData`. Reports its progress (0 to 1)
    // through `progress`, which may be called from the worker thread. 0 when everything of the
    // product is gone, 1 when something could not be removed.
    virtual int Remove(bool removeData, const std::function<void(double)>& progress) = 0;
};

// The uninstaller's window, in the setup window's look: a confirmation with a box to tick for
// removing the user's data too; when the client is running, a question whether to end it first;
// the progress of the removal; its result. With a non-empty `refusal` the window opens on the
// result, showing that reason why nothing can be removed, and only closes.
// 0 when the product was removed; 1 when the user cancelled, the removal failed or was refused.
int RunUninstallWindow(HINSTANCE module, UninstallWindowHandler& handler, const std::wstring& refusal);

}  // namespace ui
