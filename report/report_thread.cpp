// The report thread of DataReportMgr: builds due messages under the lock and sends them outside it.
#include "diag/ansi_text.h"
#include "diag/cvlog.h"
#include "report/data_report_mgr.h"
#include "report/report_texts.h"

using namespace report_texts;

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

void DataReportMgr::BuildDueMessages(std::deque<ReportMessage>& pending) {
    diag::CriticalSectionLock lock(m_lock);
    if (!m_immediateQueue.empty()) {
        const ReportBatch& batch = m_immediateQueue.front();
        pending.push_back(MakeReportMessage(batch, 0, batch.items.size(), m_nMessageCounter++));
        m_immediateQueue.pop_front();
    }
    if (!m_cachedQueue.empty() && ShouldSendCached(GetTickCount())) {
        ReportBatch& batch = m_cachedQueue.front();
        if (batch.items.size() >= kCachedItemsPerMessage) {
            pending.push_back(MakeReportMessage(batch, 0, kCachedItemsPerMessage, m_nMessageCounter++));
            batch.items.erase(batch.items.begin(), batch.items.begin() + kCachedItemsPerMessage);
            if (batch.items.empty()) m_cachedQueue.pop_front();
        } else {
            pending.push_back(MakeReportMessage(batch, 0, batch.items.size(), m_nMessageCounter++));
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
    std::deque<ReportMessage> pending;
    unsigned failures = 0;
    bool flagCleared = false;

    while (!stopped()) {
        BuildDueMessages(pending);

        if (!pending.empty()) {
            if (stopped()) {
                CVLOG(kFnRun, kLogLevel, kCategoryData, L"%s", kLogSendCancelled);
                break;
            }
            const int sequence = static_cast<int>(pending.front().clientSeq);
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
                (!pending.empty() && !pending.front().content.items.empty()) ||
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

bool DataReportMgr::SendToServer(const ReportMessage& message, HANDLE stopEvent) {
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
    const std::string payload = EncodeReportData(message);
    if (payload.empty() || message.content.items.empty()) return true;
    LogReportData(message, payload.size());
    return SendFrame(m_endpoint(), reinterpret_cast<const uint8_t*>(payload.data()),
                     static_cast<uint32_t>(payload.size()), stopEvent, m_timings.send);
}

void DataReportMgr::LogReportData(const ReportMessage& message, size_t size) {
    const ReportBatch& content = message.content;
    CVLOG(kFnLogReportData, kLogLevel, kCategoryData, kLogReportData,
          static_cast<int>(message.clientSeq), static_cast<int>(size),
          Wide(content.clientBuild).c_str(), Wide(content.clientVersion).c_str(),
          Wide(content.uid).c_str(), Wide(content.deviceId).c_str());
    for (const PeloraReportItem& item : content.items) {
        CVLOG(kFnLogReportData, kLogLevel, kCategoryData, kLogReportItem,
              Wide(item.bid()).c_str(), Wide(item.tid()).c_str(), Wide(item.module()).c_str(),
              Wide(item.opername()).c_str(), Wide(item.action()).c_str());
        for (const auto& entry : item.values()) {
            const std::wstring key = Wide(entry.first);
            const ReportItemValue& value = entry.second;
            switch (value.kind) {
                case ReportItemValue::Kind::kUint:
                    CVLOG(kFnLogReportData, kLogLevel, kCategoryData, kLogValueUint, key.c_str(),
                          static_cast<int>(value.uintValue));
                    break;
                case ReportItemValue::Kind::kText:
                    CVLOG(kFnLogReportData, kLogLevel, kCategoryData, kLogValueText, key.c_str(),
                          Wide(value.textValue).c_str());
                    break;
                case ReportItemValue::Kind::kDouble:
                    CVLOG(kFnLogReportData, kLogLevel, kCategoryData, kLogValueDouble, key.c_str(),
                          value.doubleValue);
                    break;
            }
        }
    }
}
