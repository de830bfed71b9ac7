#pragma once

#include <cstddef>
#include <cstdint>

// Names and limits of the two log files that other programs and people read.
namespace diag {

// Both logs live in <application data>\Corvane\Logs.
constexpr const wchar_t kMakerFolder[] = L"Corvane";
constexpr const wchar_t kLogsFolder[] = L"Logs";
constexpr const wchar_t kInstallLogFileName[] = L"PeloraInstall.txt";

// Install log.
constexpr std::size_t kInstallLogLineChars = 512;  // printf buffer, terminator included
constexpr const wchar_t kStampFormat[] = L"[%d:%d:%d:%d:%d:%d]";
constexpr std::size_t kMaxFolderChainPath = 260;

// Binary log.
constexpr const wchar_t kBinaryLogExtension[] = L".tlg";
constexpr const wchar_t kFallbackBinaryLogName[] = L"log.tlg";
constexpr const char kNoCVLogExport[] = "NoCVLog";
constexpr const wchar_t kLogLevelOption[] = L"/loglevel:";
constexpr const wchar_t kLogBufOption[] = L"/logbuf:";
constexpr int kDefaultLevelThreshold = 3;
constexpr std::uint32_t kDefaultBufferCount = 1000;
// Written into the threshold at exit so that any later call is ignored.
constexpr int kClosedLevelThreshold = -10000;
constexpr std::size_t kMaxLogPathChars = 260;
constexpr std::uint64_t kRotateAboveBytes = 0x500000;  // a file of exactly this size is kept
constexpr const wchar_t kFirstGenerationSuffix[] = L".1";
constexpr const wchar_t kSecondGenerationSuffix[] = L".2";
constexpr std::size_t kFlushStagingBytes = 102400;

// Records of this level and above carry the performance counter instead of the module address.
constexpr int kPreciseTimingLevel = 4;

// The first record of every process states the unit of the performance-counter values.
constexpr const wchar_t kBenchmarkCategory[] = L"PerfBenchmark";
constexpr const wchar_t kBenchmarkFunction[] = L"CVLog_DoCVLogVW";
constexpr const wchar_t kBenchmarkSourceFile[] = L"Log";
constexpr unsigned kBenchmarkLine = 955;
constexpr int kBenchmarkLevel = 1;
constexpr const wchar_t kBenchmarkFormat[] = L"%I64d";

}  // namespace diag
