#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "diag/win_handle.h"
#include "report/report_batch.h"
#include "report/report_endpoint.h"
#include "report/report_item.h"
#include "report/report_sender.h"

// How long the report thread waits between passes, and when cached items are due. Tests shorten
// them; the program uses the defaults.
struct ReportTimings {
    DWORD idleWaitMs = 1000;
    DWORD shortRetryWaitMs = 10000;   // after the first three failures in a row
    DWORD longRetryWaitMs = 60000;    // after the fourth and every later one
    DWORD uninitialisingWaitMs = 5;
    DWORD cacheAgeLimitMs = 60000;    // since the first item went into the empty cached queue
    DWORD cacheIdleLimitMs = 10000;   // since the last cached item was added
    DWORD stopGraceMs = 500;          // how long a thread still running at process exit is given
    SendLimits send;
};

// Collects report items into batches that share a header and sends them, one message per TCP
// connection, on a report thread that ends by itself when no work is left. Every operation is
// thread-safe. The report thread keeps the manager alive while it runs.
class DataReportMgr : public std::enable_shared_from_this<DataReportMgr> {
public:
    // Where to send is asked on the report thread before every send.
    using EndpointSource = std::function<ReportEndpoint()>;

    static std::shared_ptr<DataReportMgr> Create(const ReportEndpoint& endpoint,
                                                 const ReportTimings& timings);
    static std::shared_ptr<DataReportMgr> Create(EndpointSource endpoint,
                                                 const ReportTimings& timings);
    // The process-wide manager, sending to DefaultReportEndpoint(). It is created during static
    // initialisation, so it exists (and logs) from process start even in a run that never
    // reports. At exit its report thread is told to stop and given stopGraceMs to leave.
    static DataReportMgr& Instance();

    ~DataReportMgr();
    DataReportMgr(const DataReportMgr&) = delete;
    DataReportMgr& operator=(const DataReportMgr&) = delete;

    int InitializeDataReport();
    // Mode 1 flushes and waits up to `milliseconds` for the report thread, then tells it to stop;
    // mode 0 tells it to stop at once. Neither waits longer, whatever the thread is blocked in.
    // Returns 1.
    int UninitalizeDataReport(int mode, int milliseconds);
    void SetClientVersion(const char* text);
    void SetUid(const char* text);
    void SetClientBuild(const char* text);
    void AddReportItem(const PeloraReportItem& item, bool immediate);
    int Flush();

    bool IsThreadRunning();
    // Asks a running report thread to stop and waits at most `milliseconds` for it.
    void StopThread(DWORD milliseconds);

private:
    // Each report thread has its own stop event, so stopping one never touches a later one.
    struct ThreadControl {
        diag::ScopedHandle stopEvent{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        void Stop() {
            if (stopEvent.IsValid()) SetEvent(stopEvent.Get());
        }
    };
    struct ThreadStart;

    DataReportMgr(EndpointSource endpoint, const ReportTimings& timings);

    void SetHeader(std::string DataReportMgr::*field, const char* text, const wchar_t* function,
                   const wchar_t* logFormat);
    void StampLastBatch(std::deque<ReportBatch>& queue);
    bool ShouldSendCached(DWORD now) const;
    void BuildDueMessages(std::deque<ReportMessage>& pending);
    DWORD NextWait(unsigned failures);
    void Run(const std::shared_ptr<ThreadControl>& control, unsigned generation);
    bool SendToServer(const ReportMessage& message, HANDLE stopEvent);
    void LogReportData(const ReportMessage& message, size_t size);
    static DWORD WINAPI ThreadProc(void* parameter);

    // Guarded by m_lock: the header strings, both queues, the ticks, the thread-running flag,
    // the message counter, the thread handle and control and the generation.
    std::string m_strClientVersion;
    std::string m_strUid;
    std::string m_strClientBuild;
    std::deque<ReportBatch> m_immediateQueue;
    std::deque<ReportBatch> m_cachedQueue;
    DWORD m_dwCacheStartTick = 0;
    DWORD m_dwLastCachedAddTick = 0;
    bool m_bThreadRunning = false;
    uint32_t m_nMessageCounter = 0;
    diag::CriticalSection m_lock;
    diag::ScopedHandle m_thread;
    std::shared_ptr<ThreadControl> m_threadControl;
    unsigned m_nThreadGeneration = 0;
    // Single words written by UninitalizeDataReport / InitializeDataReport, read between steps.
    volatile LONG m_bUninitialising = 0;
    // Set when uninitialising begins so a report thread in a long retry wait goes round at once.
    // Auto-reset, so it cuts one wait short: left set, it would turn the 5 ms pause between
    // retries into none.
    diag::ScopedHandle m_wakeEvent;
    std::unique_ptr<WinsockSession> m_network;

    const EndpointSource m_endpoint;
    const ReportTimings m_timings;
};
