#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "diag/win_handle.h"

namespace diag {

class CVLogRecord;

// "<program base name without its last extension>.tlg", or "log.tlg" when nothing is left.
std::wstring CVLogFileName(const std::wstring& programPath);
// `appData` + "\Corvane\Logs\" + `fileName`, with no doubled separator; empty when the result
// would not fit in MAX_PATH.
std::wstring CVLogPathIn(const std::wstring& appData, const std::wstring& fileName);
// Creates the Corvane and Logs folders of a path made by CVLogPathIn.
void CreateCVLogFolders(const std::wstring& logPath);

// Whether a log of `fileSize` bytes found at start is moved aside.
bool ShouldRotate(std::uint64_t fileSize);
// Keeps at most three generations: the log becomes ".1", an older ".1" becomes ".2". Does nothing
// when the log is absent or not above the rotation size. Failures are ignored.
void RotateIfLarge(const std::wstring& logPath);

// Opens the log for appending, creating it; clears a read-only attribute and retries a few times.
// The handle is invalid when every attempt failed.
void OpenForAppend(const std::wstring& logPath, ScopedHandle& file);

// Hands the records to `write` in order, batched through a staging buffer of `stagingBytes`: a
// batch is written out before a record that would overflow it, and a record larger than the
// buffer is written by itself. Returns false as soon as `write` fails.
using ChunkWriter = std::function<bool(const std::uint8_t* data, std::size_t size)>;
bool WriteStaged(const std::vector<std::unique_ptr<CVLogRecord>>& records,
                 std::vector<std::uint8_t>& staging, std::size_t stagingBytes,
                 const ChunkWriter& write);

}  // namespace diag
