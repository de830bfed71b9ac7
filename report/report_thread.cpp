// The report thread of DataReportMgr: builds due messages under the lock and sends them outside it.
#include <memory>
#include <new>

#include "diag/ansi_text.h"
#include "diag/cvlog.h"
#include "pelora_datareport.pb.h"
#include "report/data_report_mgr.h"
#include "report/report_texts.h"

using namespace report_texts;
using pelora_data_report::ReportData;
using pelora_data_report::ReportValue;

namespace {

constexpr int kLogLevel = 2;
constexpr size_t kCachedItemsPerMessage = 10;

std::wstring Wide(const std::string& text) { return diag::AnsiToWide(text); }

}  // namespace

bool DataReportMgr::ShouldSendCached(DWORD now) const {
    if (m_bUninitialising) return true;
    if (now - m_dwCacheStartTick > m_timings.cacheAgeLimitMs) return true;
    if (now - m_dwLastCachedAddTick > m_timings.cacheIdleLimitMs) return true;
    if (m_cachedQueue.size() >= 2) return true;
    return !m_cachedQueue.empty() && m_cachedQueue.front().items.size() > kCachedItemsPerMessage;
}

void DataReportMgr::BuildDueMessages(std::deque<ReportData>& pending) {
    diag::CriticalSectionLock lock(m_lock);
    if (!m_immediateQueue.empty()) {
        const ReportBatch& batch = m_immediateQueue.front();
        pending.emplace_back();
        BuildReportData(batch, 0, batch.items.size(), m_nMessageCounter++, &pending.back());
        m_immediateQueue.pop_front();
    }
    if (!m_cachedQueue.empty() && ShouldSendCached(GetTickCount())) {
        ReportBatch& batch = m_cachedQueue.front();
        pending.emplace_back();
        if (batch.items.size() >= kCachedItemsPerMessage) {
            BuildReportData(batch, 0, kCachedItemsPerMessage, m_nMessageCounter++, &pending.back());
            batch.items.erase(batch.items.begin(), batch.items.begin() + kCachedItemsPerMessage);
            if (batch.items.empty()) m_cachedQueue.pop_front();
        } else {
            BuildReportData(batch, 0, batch.items.size(), m_nMessageCounter++, &pending.back());
            m_cachedQueue.pop_front();
        }
    }
}

DWORD DataReportMgr::NextWait(unsigned failures) {
    if (failures > 0) {
        CVLOG(kFnRun, kLogLevel, kCategoryData, kLogRetryIn, failures >= 4 ? 60 : 10,
              static_cast<int>(failures));
    }
    if (m_bUninitialising) return m_timings.uninitialisingWaitMs;
    if (failures == 0) return m_timings.idleWaitMs;
    return failures >= 4 ? m_timings.longRetryWaitMs : m_timings.shortRetryWaitMs;
}

void DataReportMgr::Run(const std::shared_ptr<ThreadControl>& control, unsigned generation) {
    const HANDLE stopEvent = control->stopEvent.Get();
    auto stopped = [stopEvent] { return WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0; };
    CVLOG(kFnRun, kLogLevel, kCategoryEvent, L"%s", kLogRun);
    std::deque<ReportData> pending;
    unsigned failures = 0;
    bool flagCleared = false;

    while (!stopped()) {
        BuildDueMessages(pending);

        if (!pending.empty()) {
            if (stopped()) {
                CVLOG(kFnRun, kLogLevel, kCategoryData, L"%s", kLogSendCancelled);
                break;
            }
            const int sequence = static_cast<int>(pending.front().uint_clientseq());
            CVLOG(kFnRun, kLogLevel, kCategoryData, kLogSending, sequence);
            if (SendToServer(pending.front(), stopEvent)) {
                CVLOG(kFnRun, kLogLevel, kCategoryData, kLogSent, sequence);
                pending.pop_front();
                failures = 0;
            } else {
                CVLOG(kFnRun, kLogLevel, kCategoryData, L"%s", kLogSendFailed);
                ++failures;
            }
        }

        {
            // The immediate queue counts as work too, and the decision to end is taken together
            // with clearing the running flag: an item added at this moment either is seen here or
            // finds the flag clear and starts a new thread, so it is never stranded.
            diag::CriticalSectionLock lock(m_lock);
            const bool workLeft =
                (!pending.empty() && pending.front().list_reportitem_size() > 0) ||
                (!m_cachedQueue.empty() && !m_cachedQueue.front().items.empty()) ||
                !m_immediateQueue.empty();
            if (!workLeft) {
                if (generation == m_nThreadGeneration) m_bThreadRunning = false;
                flagCleared = true;
                break;
            }
        }
        if (stopped()) {
            CVLOG(kFnRun, kLogLevel, kCategoryData, L"%s", kLogWaitCancelled);
            break;
        }
        const HANDLE wakers[2] = {stopEvent, m_wakeEvent.Get()};
        const DWORD wait = NextWait(failures);
        // The wake event cuts at most one wait short; later passes wait their full time.
        WaitForMultipleObjects(m_wakeEvent.IsValid() ? 2 : 1, wakers, FALSE, wait);
    }

    CVLOG(kFnRun, kLogLevel, kCategoryEvent, L"%s", kLogRunEnded);
    if (!flagCleared) {
        diag::CriticalSectionLock lock(m_lock);
        // A later thread may already have been started after this one was abandoned.
        if (generation == m_nThreadGeneration) m_bThreadRunning = false;
    }
    // Whatever is still pending is discarded with the local list.
}

bool DataReportMgr::SendToServer(const ReportData& message, HANDLE stopEvent) {
    {
        diag::CriticalSectionLock lock(m_lock);
        if (!m_network || !m_network->started()) {
            m_network.reset(new WinsockSession());
            if (!m_network->started()) {
                CVLOG(kFnSendToServer, kLogLevel, kCategoryError, L"%s", kLogNetworkInvalid);
                return false;
            }
        }
    }
    const size_t size = message.ByteSizeLong();
    if (size == 0 || message.list_reportitem_size() == 0) return true;
    LogReportData(message, size);

    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size]());
    if (!buffer) return false;
    if (!message.SerializeToArray(buffer.get(), static_cast<int>(size))) return false;
    return SendFrame(m_endpoint(), buffer.get(), static_cast<uint32_t>(size), stopEvent,
                     m_timings.send);
}

void DataReportMgr::LogReportData(const ReportData& message, size_t size) {
    CVLOG(kFnLogReportData, kLogLevel, kCategoryData, kLogReportData,
          static_cast<int>(message.uint_clientseq()), static_cast<int>(size),
          Wide(message.string_clientbuild()).c_str(), Wide(message.string_clientversion()).c_str(),
          Wide(message.string_uid()).c_str(), Wide(message.string_deviceid()).c_str());
    for (const auto& item : message.list_reportitem()) {
        CVLOG(kFnLogReportData, kLogLevel, kCategoryData, kLogReportItem,
              Wide(item.string_bid()).c_str(), Wide(item.string_tid()).c_str(),
              Wide(item.string_module()).c_str(), Wide(item.string_opername()).c_str(),
              Wide(item.string_action()).c_str());
        for (const auto& value : item.list_reportvalue()) {
            const std::wstring key = Wide(value.string_fieldname());
            switch (value.valuetype()) {
                case ReportValue::VALUE_TYPE_UINT32:
                    CVLOG(kFnLogReportData, kLogLevel, kCategoryData, kLogValueUint, key.c_str(),
                          static_cast<int>(value.uint_value()));
                    break;
                case ReportValue::VALUE_TYPE_STRING:
                    CVLOG(kFnLogReportData, kLogLevel, kCategoryData, kLogValueText, key.c_str(),
                          Wide(value.string_value()).c_str());
                    break;
                case ReportValue::VALUE_TYPE_DOUBLE:
                    CVLOG(kFnLogReportData, kLogLevel, kCategoryData, kLogValueDouble, key.c_str(),
                          value.double_value());
                    break;
            }
        }
    }
}
