#pragma once

#include <windows.h>

#include <cstdint>

#include "diag/win_handle.h"

// A thread with a message queue and no window. Work is posted to it as thread messages and handled
// in OnMessage, one at a time, in the order posted.
class WinMsgThread {
public:
    WinMsgThread() = default;
    WinMsgThread(const WinMsgThread&) = delete;
    WinMsgThread& operator=(const WinMsgThread&) = delete;
    // Does not stop the thread: a running thread keeps the object alive until the process ends.
    virtual ~WinMsgThread() = default;

    // Starts the thread once; later calls create nothing. True when the thread exists; false, with
    // no thread started, when its ready event or the thread cannot be made.
    virtual bool Start();
    // Asks the thread to leave its loop after the message it is handling. With `wait`, waits up
    // to `milliseconds` for it to end and returns the wait result; otherwise the post result.
    virtual DWORD Stop(bool wait, DWORD milliseconds);
    // Asks the thread to stop, as Stop does, and waits up to `milliseconds` for it to end. True
    // when no thread runs any more, also when none was ever started.
    bool Join(DWORD milliseconds);
    // Handles one thread message on the thread.
    virtual void OnMessage(const MSG& message) = 0;
    // Called on the thread after its loop has ended.
    virtual void OnExit() {}

    // Posts a thread message; blocks until the queue exists. A post before Start is dropped.
    BOOL Post(UINT message, WPARAM wParam, LPARAM lParam);

    bool StopRequested() const { return m_nStopCount != 0; }
    DWORD ThreadId() const { return m_dwThreadId; }

    // Makes the ready event of the next Start (CreateEventW, manual reset, unnamed); tests hand in
    // one that fails. nullptr restores the real call. Set it before a thread starts.
    using ReadyEventFactory = HANDLE (*)();
    static void SetReadyEventFactoryForTesting(ReadyEventFactory factory);

private:
    static unsigned __stdcall ThreadProc(void* self);
    void Loop();

    diag::ScopedHandle m_hReady;
    diag::ScopedHandle m_hThread;
    DWORD m_dwThreadId = 0;
    // Written by any thread through InterlockedIncrement only; non-zero ends the loop.
    volatile LONG m_nStopCount = 0;
};
