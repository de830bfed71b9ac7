#include "ui/uninstall/uninstall_window.h"

#include "diag/install_log.h"
#include "ui/toolkit/graphics.h"
#include "ui/uninstall/uninstall_art.h"
#include "ui/uninstall/uninstall_dialog.h"
#include "ui/uninstall/uninstall_resources.h"
#include "ui/uninstall/uninstall_texts.h"

namespace ui {

int RunUninstallWindow(HINSTANCE module, UninstallWindowHandler& handler, const std::wstring& refusal) {
    // Without the graphics the window draws nothing, but its keys still work.
    const bool graphics = StartGraphics(module);
    int result = 1;
    {
        // The art and the window's widgets go before the graphics stop.
        UninstallArt art(module);
        UninstallDialog dialog(handler, art, refusal);
        dialog.Show(nullptr, PELORA_UNINSTALL_DIALOG, module);
        if (dialog.RunModal() == -1) InstallLog::Format(kLogUninstallWindowFailed, GetLastError());
        else result = dialog.ResultCode();
    }
    if (graphics) StopGraphics();
    return result;
}

}  // namespace ui
