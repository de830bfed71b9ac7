#pragma once

#include <windows.h>

#include <atomic>
#include <thread>

namespace ui {

class UninstallWindowHandler;

// Runs the handler's Remove on a thread of its own and reports to a window by posted messages,
// so that the window's thread only paints and answers: kRemovalProgress (wParam: the whole percent,
// posted only when it changes) and, once Remove has returned, kRemovalDone (wParam: its result).
// Fractions outside 0 to 1 count as the nearer end; a NaN is not reported. The progress messages
// of a removal all arrive before its done message.
class RemovalWorker {
public:
    static constexpr UINT kRemovalProgress = WM_APP + 1;
    static constexpr UINT kRemovalDone = WM_APP + 2;

    RemovalWorker() = default;
    RemovalWorker(const RemovalWorker&) = delete;
    RemovalWorker& operator=(const RemovalWorker&) = delete;
    // Waits for a removal still running: the handler must outlive its call.
    ~RemovalWorker();

    // False while an earlier removal is not joined yet, or when the thread could not be made.
    bool Start(HWND window, UninstallWindowHandler& handler, bool removeData);
    // Waits for the thread; called once kRemovalDone arrived, so it returns at once.
    void Join();

private:
    std::thread m_thread;
    // Written by the progress callback on whichever thread the handler calls it.
    std::atomic<int> m_lastPercent{-1};
};

}  // namespace ui
