#include "ui/uninstall/removal_worker.h"

#include <cmath>
#include <functional>
#include <system_error>

#include "ui/uninstall/uninstall_window.h"

namespace ui {

RemovalWorker::~RemovalWorker() {
    Join();
}

bool RemovalWorker::Start(HWND window, UninstallWindowHandler& handler, bool removeData) {
    if (m_thread.joinable()) return false;
    try {
        m_thread = std::thread([this, window, &handler, removeData] {
            const std::function<void(double)> progress = [this, window](double fraction) {
                if (std::isnan(fraction)) return;
                const double bounded = fraction < 0.0 ? 0.0 : fraction > 1.0 ? 1.0 : fraction;
                const int percent = static_cast<int>(std::lround(bounded * 100.0));
                // A removal reports every file; the window needs to hear only of a new percentage.
                if (m_lastPercent.exchange(percent) != percent) PostMessageW(window, kRemovalProgress, percent, 0);
            };
            const int result = handler.Remove(removeData, progress);
            PostMessageW(window, kRemovalDone, static_cast<WPARAM>(result), 0);
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void RemovalWorker::Join() {
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace ui
