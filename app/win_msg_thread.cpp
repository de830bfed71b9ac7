#include "app/win_msg_thread.h"

#include <process.h>

#include "app/app_constants.h"
#include "diag/install_log.h"

namespace {

HANDLE CreateUnnamedReadyEvent() {
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

WinMsgThread::ReadyEventFactory g_readyEventFactory = &CreateUnnamedReadyEvent;

}  // namespace

void WinMsgThread::SetReadyEventFactoryForTesting(ReadyEventFactory factory) {
    g_readyEventFactory = factory ? factory : &CreateUnnamedReadyEvent;
}

bool WinMsgThread::Start() {
    if (m_dwThreadId == 0) {
        // Without the ready event nobody could tell when the queue exists, and the first post
        // would be lost: no thread is started then.
        m_hReady.Reset(g_readyEventFactory());
        if (!m_hReady.IsValid()) {
            InstallLog::Format(app::kLogNoReadyEvent, GetLastError());
            return false;
        }
        unsigned threadId = 0;
        m_hThread.Reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &WinMsgThread::ThreadProc, this, 0, &threadId)));
        if (m_hThread.IsValid()) {
            m_dwThreadId = threadId;
        } else {
            InstallLog::Format(app::kLogNoWorkerThread, GetLastError());
            m_hReady.Reset();
        }
    }
    return m_hThread.IsValid();
}

DWORD WinMsgThread::Stop(bool wait, DWORD milliseconds) {
    InterlockedIncrement(&m_nStopCount);
    BOOL posted = FALSE;
    if (m_dwThreadId != 0) {
        WaitForSingleObject(m_hReady.Get(), INFINITE);
        posted = PostThreadMessageW(m_dwThreadId, WM_QUIT, 0, 0);
    }
    if (wait && m_hThread.IsValid()) return WaitForSingleObject(m_hThread.Get(), milliseconds);
    return static_cast<DWORD>(posted);
}

bool WinMsgThread::Join(DWORD milliseconds) {
    Stop(false, 0);
    return !m_hThread.IsValid() || WaitForSingleObject(m_hThread.Get(), milliseconds) == WAIT_OBJECT_0;
}

BOOL WinMsgThread::Post(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_dwThreadId == 0) return FALSE;
    WaitForSingleObject(m_hReady.Get(), INFINITE);
    return PostThreadMessageW(m_dwThreadId, message, wParam, lParam);
}

unsigned __stdcall WinMsgThread::ThreadProc(void* self) {
    static_cast<WinMsgThread*>(self)->Loop();
    return 0;
}

void WinMsgThread::Loop() {
    MSG message;
    // Peeking creates the thread's queue; only then may others post to it.
    PeekMessageW(&message, nullptr, WM_USER + 1, WM_USER + 1, PM_NOREMOVE);
    SetEvent(m_hReady.Get());
    while (GetMessageW(&message, nullptr, 0, 0) && m_nStopCount == 0) {
        OnMessage(message);
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    OnExit();
}
