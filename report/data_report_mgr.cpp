#include "report/data_report_mgr.h"

#include "diag/ansi_text.h"
#include "diag/cvlog.h"
#include "report/report_texts.h"

using namespace report_texts;

namespace {

constexpr int kLogLevel = 2;

std::wstring Wide(const std::string& text) { return diag::AnsiToWide(text); }

// Holds the process-wide manager; at exit a report thread still running is told to stop before
// the manager (and the binary log it writes to) goes away.
struct ProcessManagerHolder {
    std::shared_ptr<DataReportMgr> manager = DataReportMgr::Create(&DefaultReportEndpoint,
                                                                   ReportTimings());
    ~ProcessManagerHolder() { manager->StopThread(ReportTimings().stopGraceMs); }
};

}  // namespace

// Made here, during static initialisation: a run that stops at its first check still leaves the
// manager's construction and destruction (and the writer's benchmark record) in the binary log.
// The endpoint is read later, before each send.
static DataReportMgr& g_processManager = DataReportMgr::Instance();

struct DataReportMgr::ThreadStart {
    std::shared_ptr<DataReportMgr> manager;
    std::shared_ptr<ThreadControl> control;
    unsigned generation;
};

std::shared_ptr<DataReportMgr> DataReportMgr::Create(const ReportEndpoint& endpoint,
                                                     const ReportTimings& timings) {
    return Create([endpoint] { return endpoint; }, timings);
}

std::shared_ptr<DataReportMgr> DataReportMgr::Create(EndpointSource endpoint,
                                                     const ReportTimings& timings) {
    return std::shared_ptr<DataReportMgr>(new DataReportMgr(std::move(endpoint), timings));
}

DataReportMgr& DataReportMgr::Instance() {
    static ProcessManagerHolder holder;
    return *holder.manager;
}

DataReportMgr::DataReportMgr(EndpointSource endpoint, const ReportTimings& timings)
    : m_wakeEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_network(new WinsockSession()),
      m_endpoint(std::move(endpoint)),
      m_timings(timings) {
    // The writer must outlive this manager, which logs from its destructor.
    CVLog_EnsureWriter();
    CVLOG(kFnConstructor, kLogLevel, kCategoryEvent, L"%s", kLogConstructed);
}

DataReportMgr::~DataReportMgr() {
    CVLOG(kFnDestructor, kLogLevel, kCategoryEvent, L"%s", kLogDestroying);
    CVLOG(kFnDestructor, kLogLevel, kCategoryEvent, L"%s", kLogDestroyed);
    // Members release the lock, Winsock and the queues (items still queued are lost).
}

int DataReportMgr::InitializeDataReport() {
    InterlockedExchange(&m_bUninitialising, 0);
    if (m_wakeEvent.IsValid()) ResetEvent(m_wakeEvent.Get());
    CVLOG(kFnInitialize, kLogLevel, kCategoryEvent, L"%s", kLogInitialize);
    return 1;
}

void DataReportMgr::StampLastBatch(std::deque<ReportBatch>& queue) {
    if (queue.empty()) return;
    ReportBatch& batch = queue.back();
    batch.clientVersion = m_strClientVersion;
    batch.uid = m_strUid;
    batch.clientBuild = m_strClientBuild;
    batch.terminalType = 1;
}

void DataReportMgr::SetHeader(std::string DataReportMgr::*field, const char* text,
                              const wchar_t* function, const wchar_t* logFormat) {
    const std::string value = text ? text : "";
    diag::CriticalSectionLock lock(m_lock);
    if (this->*field == value) return;
    // Items already queued keep the header they were added under.
    for (std::deque<ReportBatch>* queue : {&m_immediateQueue, &m_cachedQueue}) {
        if (!queue->empty() && !queue->back().items.empty()) queue->emplace_back();
    }
    this->*field = value;
    StampLastBatch(m_immediateQueue);
    StampLastBatch(m_cachedQueue);
    CVLOG(function, kLogLevel, kCategoryEvent, logFormat, Wide(value).c_str());
}

void DataReportMgr::SetClientVersion(const char* text) {
    SetHeader(&DataReportMgr::m_strClientVersion, text, kFnSetClientVersion, kLogSetClientVersion);
}

void DataReportMgr::SetUid(const char* text) {
    SetHeader(&DataReportMgr::m_strUid, text, kFnSetUid, kLogSetUid);
}

void DataReportMgr::SetClientBuild(const char* text) {
    SetHeader(&DataReportMgr::m_strClientBuild, text, kFnSetClientBuild, kLogSetClientBuild);
}

void DataReportMgr::AddReportItem(const PeloraReportItem& item, bool immediate) {
    {
        diag::CriticalSectionLock lock(m_lock);
        if (immediate) {
            if (m_immediateQueue.empty()) {
                m_immediateQueue.emplace_back();
                StampLastBatch(m_immediateQueue);
            }
            m_immediateQueue.back().items.push_back(item);
        } else {
            const DWORD now = GetTickCount();
            if (m_cachedQueue.empty()) {
                m_dwCacheStartTick = now;
                m_cachedQueue.emplace_back();
                StampLastBatch(m_cachedQueue);
            }
            m_dwLastCachedAddTick = now;
            m_cachedQueue.back().items.push_back(item);
        }
        CVLOG(kFnAddReportItem, kLogLevel, kCategoryAddItem,
              immediate ? kLogAddImmediate : kLogAddCached, Wide(item.bid()).c_str(),
              Wide(item.tid()).c_str(), Wide(item.module()).c_str(),
              Wide(item.opername()).c_str(), Wide(item.action()).c_str());
    }
    Flush();
}

int DataReportMgr::Flush() {
    diag::CriticalSectionLock lock(m_lock);
    if (m_bThreadRunning) return 1;
    m_bThreadRunning = true;
    CVLOG(kFnFlush, kLogLevel, kCategoryEvent, L"%s", kLogCreateThread);
    auto control = std::make_shared<ThreadControl>();
    auto* start = new ThreadStart{shared_from_this(), control, ++m_nThreadGeneration};
    HANDLE thread = control->stopEvent.IsValid()
                        ? CreateThread(nullptr, 0, &DataReportMgr::ThreadProc, start, 0, nullptr)
                        : nullptr;
    if (!thread) {
        delete start;
        m_bThreadRunning = false;
        CVLOG(kFnFlush, kLogLevel, kCategoryError, L"%s", kLogCreateThreadFailed);
        return 1;
    }
    m_thread.Reset(thread);
    m_threadControl = control;
    return 1;
}

DWORD WINAPI DataReportMgr::ThreadProc(void* parameter) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
    start->manager->Run(start->control, start->generation);
    return 0;
}

bool DataReportMgr::IsThreadRunning() {
    diag::CriticalSectionLock lock(m_lock);
    return m_bThreadRunning;
}

void DataReportMgr::StopThread(DWORD milliseconds) {
    HANDLE thread = nullptr;
    {
        diag::CriticalSectionLock lock(m_lock);
        if (m_threadControl) m_threadControl->Stop();
        thread = m_thread.Get();
    }
    if (thread) WaitForSingleObject(thread, milliseconds);
}

int DataReportMgr::UninitalizeDataReport(int mode, int milliseconds) {
    CVLOG(kFnUninitialize, kLogLevel, kCategoryEvent, L"%s", kLogUninitializing);
    InterlockedExchange(&m_bUninitialising, 1);
    if (m_wakeEvent.IsValid()) SetEvent(m_wakeEvent.Get());
    if (mode == 1) {
        CVLOG(kFnUninitialize, kLogLevel, kCategoryEvent, L"%s", kLogFlushBeforeExit);
        Flush();
    }

    bool running = false;
    diag::ScopedHandle thread;
    std::shared_ptr<ThreadControl> control;
    {
        diag::CriticalSectionLock lock(m_lock);
        running = m_bThreadRunning;
        if (running && m_thread.IsValid()) {
            thread = std::move(m_thread);
            control = m_threadControl;
        }
    }
    if (running && thread.IsValid()) {
        // The caller is held no longer than it asked for. A thread told to stop leaves soon on
        // its own (its network and retry waits wake on the stop event); one that cannot, blocked
        // in a name lookup, is left behind holding no lock of ours and its own reference to the
        // manager, and it sends nothing more once it comes back.
        if (mode == 0) {
            control->Stop();
            CVLOG(kFnUninitialize, kLogLevel, kCategoryEvent, L"%s", kLogThreadKilled);
        } else if (mode == 1) {
            CVLOG(kFnUninitialize, kLogLevel, kCategoryEvent, kLogWaitForThread, milliseconds);
            const DWORD start = GetTickCount();
            const DWORD limit = milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0;
            if (WaitForSingleObject(thread.Get(), limit) != WAIT_OBJECT_0) control->Stop();
            CVLOG(kFnUninitialize, kLogLevel, kCategoryEvent, kLogActualWait,
                  static_cast<int>(GetTickCount() - start));
        }
        DWORD exitCode = 0;
        GetExitCodeThread(thread.Get(), &exitCode);
        CVLOG(kFnUninitialize, kLogLevel, kCategoryEvent, kLogLastThreadEnded,
              static_cast<int>(exitCode));
    }
    CVLOG(kFnUninitialize, kLogLevel, kCategoryEvent, L"%s", kLogUninitialized);
    {
        diag::CriticalSectionLock lock(m_lock);
        m_bThreadRunning = false;
    }
    return 1;
}
