// The hang watchdog in a process of its own, so that its command line can carry "/ldd":
//   hang_watchdog_probe.exe hung|alive <result file> [/ldd]
// "hung": Start, then the main thread stops giving signs of life for 23 seconds.
// "alive": Start, Activate every second for 12 seconds (noting the longest gap between two
// calls), then silence for 6 seconds.
// The probe writes what it saw as UTF-8 "key=value" lines, the last hang report at the end, and
// keeps its install log beside them (<result file>.log).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "diag/crash_info_block_store.h"
#include "diag/hang_watchdog.h"
#include "diag/install_log.h"

namespace {

// A crash information block as the crash monitor makes it, with its five strings.
diag::CrashInfoBlock* MakeBlock() {
    const std::vector<std::wstring> strings = {L"PeloraSetup", L"映彩直播", L"C:\\product.exe", L"", L"C:\\probe.exe"};
    uint32_t size = sizeof(diag::CrashInfoBlock);
    for (const std::wstring& text : strings) size += static_cast<uint32_t>((text.size() + 1) * sizeof(wchar_t));
    auto* bytes = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
    auto* block = reinterpret_cast<diag::CrashInfoBlock*>(bytes);
    block->totalSize = size;
    block->processId = GetCurrentProcessId();
    block->creatorThreadId = GetCurrentThreadId();
    block->versionMajor = 1;
    block->versionMinor = 14;
    uint32_t offset = sizeof(diag::CrashInfoBlock);
    for (size_t i = 0; i < strings.size(); ++i) {
        block->stringOffsets[i] = offset;
        std::memcpy(bytes + offset, strings[i].c_str(), (strings[i].size() + 1) * sizeof(wchar_t));
        offset += static_cast<uint32_t>((strings[i].size() + 1) * sizeof(wchar_t));
    }
    return block;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], length, nullptr, nullptr);
    return utf8;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const std::wstring mode = argv[1];
    InstallLog::Open(std::wstring(argv[2]) + L".log");
    diag::CrashInfoBlock* block = MakeBlock();
    diag::SetProcessCrashInfoBlock(block);

    std::string result;
    auto add = [&result](const char* key, unsigned long long value) {
        result += std::string(key) + "=" + std::to_string(value) + "\n";
    };
    add("main_tid", GetCurrentThreadId());
    add("start", static_cast<unsigned>(diag::StartHangWatchdog()));
    add("second_start", static_cast<unsigned>(diag::StartHangWatchdog()));
    if (mode == L"hung") {
        Sleep(23000);
        add("hangs", static_cast<unsigned>(diag::ReportedHangCount()));
    } else {
        // The longest time between two signs of life, as this thread saw it: on a loaded machine
        // the process may stall for seconds, and then a hang report is right.
        DWORD longestGap = 0;
        DWORD previous = GetTickCount();
        for (int second = 0; second < 12; ++second) {
            const DWORD now = GetTickCount();
            if (now - previous > longestGap) longestGap = now - previous;
            previous = now;
            diag::ActivateHangWatchdog();
            Sleep(1000);
        }
        add("longest_gap_ms", longestGap);
        add("hangs_while_active", static_cast<unsigned>(diag::ReportedHangCount()));
        Sleep(6500);
        add("hangs", static_cast<unsigned>(diag::ReportedHangCount()));
    }
    add("block_code", block->exceptionRecord.ExceptionCode);
    add("block_tid", block->crashThreadId);
    add("block_has_context", block->context.ContextFlags != 0 ? 1u : 0u);
    add("stop", static_cast<unsigned>(diag::StopHangWatchdog()));
    add("second_stop", static_cast<unsigned>(diag::StopHangWatchdog()));
    result += "report=" + ToUtf8(diag::LastHangReport());

    FILE* file = _wfopen(argv[2], L"wb");
    if (file == nullptr) return 3;
    fwrite(result.data(), 1, result.size(), file);
    fclose(file);
    return 0;
}
