#pragma once

#include <cstdint>

// Names and limits of the crash reporter "bugreport.exe" that the crashed program and the tests see.
namespace reporter {

constexpr const wchar_t kEvidenceName[] = L"bugreport";
constexpr const wchar_t kBugInfoSwitch[] = L"/buginfo:";
constexpr const wchar_t kExtInfoSwitch[] = L"/extinfo:";

// The report goes beside the heap-walk files of the crashed program: %TEMP%\Corvane.
constexpr const wchar_t kReportFolder[] = L"Corvane";
constexpr const wchar_t kFallbackTempFolder[] = L"C:\\temp\\";
constexpr const wchar_t kReportFileFormat[] = L"%lsCrashReport_%lu.txt";  // folder, process id

// Evidence keys (payload/README.md).
constexpr const wchar_t kReportKey[] = L"report";
constexpr const wchar_t kErrorKey[] = L"error";

// A block larger than this is not believed: the header and five strings of at most 32 K
// characters each.
constexpr uint32_t kMaxBlockBytes = 1544 + 5 * 65536;

// Exit codes of the reporter.
constexpr int kExitReported = 0;
constexpr int kExitBadCommandLine = 2;
constexpr int kExitBlockUnreadable = 3;
constexpr int kExitReportNotWritten = 4;
constexpr int kExitEventNotSignalled = 5;

}  // namespace reporter
