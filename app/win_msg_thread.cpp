#include "app/win_msg_thread.h"

#include <process.h>

bool WinMsgThread::Start() {
    if (m_dwThreadId == 0) {
        m_hReady.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        unsigned threadId = 0;
        m_hThread.Reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &WinMsgThread::ThreadProc, this, 0, &threadId)));
        if (m_hThread.IsValid()) {
            m_dwThreadId = threadId;
        } else {
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
