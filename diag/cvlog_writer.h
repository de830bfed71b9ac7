#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "diag/cvlog_options.h"
#include "diag/win_handle.h"

namespace diag {

class CVLogRecord;

// Queues binary-log records in memory and appends them to the ".tlg" file in batches. One per
// process (Instance); tests build their own on a file of their choice.
class CVLogWriter {
public:
    struct Settings {
        std::wstring path;  // empty: nothing is ever written
        CVLogOptions options;
        bool disabled = false;
        std::uint32_t processId = 0;
        std::uint32_t instanceCookie = 1;
        std::uint32_t processStartTick = 0;
    };

    explicit CVLogWriter(const Settings& settings);
    // Flushes what is still queued.
    ~CVLogWriter();
    CVLogWriter(const CVLogWriter&) = delete;
    CVLogWriter& operator=(const CVLogWriter&) = delete;

    // The writer of this process: created on first use from the command line and the program
    // name, rotated, and flushed at process exit after every object whose construction created
    // it has been destroyed. It is never freed, so a call that comes even later is just ignored.
    static CVLogWriter& Instance();
    // The settings Instance() uses; rotates the log found at start as a side effect.
    static Settings SettingsForThisProcess();

    // Whether a record of `level` would be kept.
    bool Accepts(int level) const;
    // Stamps the process fields, queues the record and flushes when the buffer rule says so.
    void Append(std::unique_ptr<CVLogRecord> record);
    // Writes out and frees the queue; a file that cannot be opened keeps the queue for next time.
    void Flush();
    // The exit step: flush, then ignore everything that still comes.
    void Close();

    const std::wstring& Path() const { return m_szPath; }
    bool IsDisabled() const { return m_bDisabled; }
    int LevelThreshold() const { return m_nLevelThreshold.load(); }
    std::uint32_t InstanceCookie() const { return m_dwInstanceCookie; }
    std::uint32_t ProcessStartTick() const { return m_dwProcessStartTick; }
    std::size_t QueuedCount();

private:
    void FlushLocked();

    CriticalSection m_lock;  // guards m_queue, m_staging and the file
    std::uint32_t m_dwProcessId;
    std::uint32_t m_dwInstanceCookie;
    std::uint32_t m_dwProcessStartTick;
    std::wstring m_szPath;
    std::atomic<int> m_nLevelThreshold;  // read without the lock by every caller
    std::uint32_t m_dwBufferCount;
    bool m_bBuffered;
    bool m_bFlushAtCount;
    bool m_bDisabled;
    std::vector<std::unique_ptr<CVLogRecord>> m_queue;  // oldest first
    std::vector<std::uint8_t> m_staging;
};

// Helpers of the process-wide writer, kept apart so that they can be checked on their own.
// tick ^ pid ^ counter high ^ counter low ^ seconds low, never 0.
std::uint32_t MakeInstanceCookie(std::uint32_t tick, std::uint32_t processId,
                                 std::int64_t perfCounter, std::int64_t wallSeconds);
// The tick count at which the process was created.
std::uint32_t ProcessStartTickOf(std::uint32_t nowTick, std::uint64_t nowFileTime,
                                 std::uint64_t creationFileTime);
// Seconds since 1970-01-01 UTC of the current time.
std::int64_t WallClockSeconds();
// Whether this program's own executable exports "NoCVLog".
bool ProgramExportsNoCVLog();

}  // namespace diag
