#include "diag/cvlog_writer.h"

#include <cstdlib>

#include "diag/app_data_folder.h"
#include "diag/cvlog_file.h"
#include "diag/cvlog_record.h"
#include "diag/diag_constants.h"

namespace diag {
namespace {

constexpr std::uint64_t kFileTimeTo1970 = 116444736000000000ull;  // 100-ns units
constexpr std::uint64_t kFileTimePerSecond = 10000000ull;
constexpr std::uint64_t kFileTimePerMillisecond = 10000ull;

std::uint64_t ToUint64(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::uint64_t NowFileTime() {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return ToUint64(now);
}

std::wstring ProgramPath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(),
                                                static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::wstring();
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

CVLogWriter* g_processWriter = nullptr;

void CloseProcessWriter() {
    if (g_processWriter != nullptr) g_processWriter->Close();
}

}  // namespace

std::uint32_t MakeInstanceCookie(std::uint32_t tick, std::uint32_t processId,
                                 std::int64_t perfCounter, std::int64_t wallSeconds) {
    const std::uint64_t counter = static_cast<std::uint64_t>(perfCounter);
    const std::uint32_t cookie = tick ^ processId ^ static_cast<std::uint32_t>(counter >> 32) ^
                                 static_cast<std::uint32_t>(counter) ^
                                 static_cast<std::uint32_t>(static_cast<std::uint64_t>(wallSeconds));
    return cookie == 0 ? 1 : cookie;
}

std::uint32_t ProcessStartTickOf(std::uint32_t nowTick, std::uint64_t nowFileTime,
                                 std::uint64_t creationFileTime) {
    const std::uint64_t elapsed =
        nowFileTime > creationFileTime ? nowFileTime - creationFileTime : 0;
    return nowTick - static_cast<std::uint32_t>(elapsed / kFileTimePerMillisecond);
}

std::int64_t WallClockSeconds() {
    return static_cast<std::int64_t>((NowFileTime() - kFileTimeTo1970) / kFileTimePerSecond);
}

bool ProgramExportsNoCVLog() {
    return GetProcAddress(GetModuleHandleW(nullptr), kNoCVLogExport) != nullptr;
}

CVLogWriter::Settings CVLogWriter::SettingsForThisProcess() {
    Settings settings;
    settings.options = ParseCVLogOptions(ProcessArguments());

    settings.processId = GetCurrentProcessId();
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    settings.instanceCookie = MakeInstanceCookie(GetTickCount(), settings.processId,
                                                 counter.QuadPart, WallClockSeconds());

    FILETIME creation = {}, exitTime = {}, kernel = {}, user = {};
    const std::uint32_t nowTick = GetTickCount();
    if (GetProcessTimes(GetCurrentProcess(), &creation, &exitTime, &kernel, &user)) {
        settings.processStartTick = ProcessStartTickOf(nowTick, NowFileTime(), ToUint64(creation));
    } else {
        settings.processStartTick = nowTick;
    }

    settings.path = CVLogPathIn(AppDataFolder(true), CVLogFileName(ProgramPath()));
    if (!settings.path.empty()) CreateCVLogFolders(settings.path);

    if (ProgramExportsNoCVLog()) {
        settings.disabled = true;
        return settings;
    }
    if (!settings.path.empty()) RotateIfLarge(settings.path);
    return settings;
}

CVLogWriter& CVLogWriter::Instance() {
    // Built inside the first caller's construction (the telemetry manager's, during static
    // initialisation), so the exit handler registered here runs after that caller's destructor
    // and its last records still reach the file.
    static CVLogWriter* writer = [] {
        g_processWriter = new CVLogWriter(SettingsForThisProcess());
        std::atexit(CloseProcessWriter);
        return g_processWriter;
    }();
    return *writer;
}

CVLogWriter::CVLogWriter(const Settings& settings)
    : m_dwProcessId(settings.processId),
      m_dwInstanceCookie(settings.instanceCookie == 0 ? 1 : settings.instanceCookie),
      m_dwProcessStartTick(settings.processStartTick),
      m_szPath(settings.path),
      m_nLevelThreshold(settings.options.levelThreshold),
      m_dwBufferCount(settings.options.bufferCount),
      m_bBuffered(settings.options.buffered),
      m_bFlushAtCount(true),
      m_bDisabled(settings.disabled || settings.path.empty()) {}

CVLogWriter::~CVLogWriter() { Close(); }

bool CVLogWriter::Accepts(int level) const {
    const int threshold = m_nLevelThreshold.load();
    return !m_bDisabled && threshold >= 0 && level <= threshold;
}

void CVLogWriter::Append(std::unique_ptr<CVLogRecord> record) {
    if (!record) return;
    record->SetProcessFields(m_dwProcessId, m_dwInstanceCookie, m_dwProcessStartTick);
    CriticalSectionLock lock(m_lock);
    // Checked again under the lock: a record that arrives after Close is not queued any more.
    if (m_nLevelThreshold.load() >= 0) {
        try {
            m_queue.push_back(std::move(record));
        } catch (...) {
            // Out of memory: the record is dropped like one whose allocation failed.
        }
        if (!m_bBuffered || (m_bFlushAtCount && m_queue.size() >= m_dwBufferCount)) {
            FlushLocked();
        }
    }
}

void CVLogWriter::Flush() {
    CriticalSectionLock lock(m_lock);
    FlushLocked();
}

void CVLogWriter::Close() {
    CriticalSectionLock lock(m_lock);
    FlushLocked();
    m_nLevelThreshold.store(kClosedLevelThreshold);
    m_queue.clear();
    m_staging.clear();
    m_staging.shrink_to_fit();
}

std::size_t CVLogWriter::QueuedCount() {
    CriticalSectionLock lock(m_lock);
    return m_queue.size();
}

void CVLogWriter::FlushLocked() {
    if (!m_bDisabled && !m_queue.empty()) {
        ScopedHandle file;
        OpenForAppend(m_szPath, file);
        // Kept for the next flush: the file may only be locked for a moment.
        if (!file.IsValid()) return;
        LARGE_INTEGER zero = {};
        SetFilePointerEx(file.Get(), zero, nullptr, FILE_END);
        HANDLE handle = file.Get();
        try {
            WriteStaged(m_queue, m_staging, kFlushStagingBytes,
                        [handle](const std::uint8_t* data, std::size_t size) {
                            DWORD written = 0;
                            return WriteFile(handle, data, static_cast<DWORD>(size), &written,
                                             nullptr) &&
                                   written == size;
                        });
        } catch (...) {
            // No staging buffer: the batch is lost, as a failed write would lose it.
        }
    }
    m_queue.clear();
}

}  // namespace diag
