#include "payload/crash_block_reader.h"

#include <vector>

#include "diag/crash_constants.h"
#include "payload/reporter_constants.h"

namespace reporter {
namespace {

bool ReadRemote(HANDLE process, uintptr_t address, void* buffer, size_t size) {
    SIZE_T read = 0;
    return ReadProcessMemory(process, reinterpret_cast<const void*>(address), buffer, size, &read) &&
           read == size;
}

// The text the crashed program put behind an exception code of the crash monitor's own: its
// address and length are the record's two parameters.
std::wstring ReadThrownText(HANDLE process, const EXCEPTION_RECORD& record) {
    const bool carriesText =
        record.ExceptionCode == diag::kUncaughtCppExceptionCode || record.ExceptionCode == diag::kAbortCode;
    if (!carriesText || record.NumberParameters < 2) return std::wstring();
    const ULONG_PTR length = record.ExceptionInformation[1];
    if (length == 0 || length >= diag::kCrashDetailChars) return std::wstring();
    std::wstring text(length, L'\0');
    if (!ReadRemote(process, record.ExceptionInformation[0], &text[0], length * sizeof(wchar_t)))
        return std::wstring();
    return text.substr(0, text.find(L'\0'));
}

}  // namespace

BlockReadResult ReadCrashBlock(HANDLE process, uintptr_t address, CrashSnapshot& snapshot) {
    constexpr uint32_t kHeaderBytes = sizeof(diag::CrashInfoBlock);
    if (!ReadRemote(process, address, &snapshot.header, kHeaderBytes)) return BlockReadResult::kUnreadable;
    const uint32_t total = snapshot.header.totalSize;
    if (total < kHeaderBytes || total > kMaxBlockBytes) return BlockReadResult::kBadSize;
    const uint32_t stringBytes = total - kHeaderBytes;
    std::vector<wchar_t> strings(stringBytes / sizeof(wchar_t));
    if (!strings.empty() &&
        !ReadRemote(process, address + kHeaderBytes, strings.data(), strings.size() * sizeof(wchar_t)))
        return BlockReadResult::kUnreadable;
    for (int i = 0; i < diag::kCrashStringCount; ++i) {
        const uint32_t offset = snapshot.header.stringOffsets[i];
        if (offset < kHeaderBytes || offset >= total || (offset - kHeaderBytes) % sizeof(wchar_t) != 0)
            return BlockReadResult::kBadString;
        const size_t first = (offset - kHeaderBytes) / sizeof(wchar_t);
        size_t end = first;
        while (end < strings.size() && strings[end] != L'\0') ++end;
        if (end >= strings.size()) return BlockReadResult::kBadString;
        snapshot.strings[i].assign(strings.data() + first, end - first);
    }
    snapshot.thrown = ReadThrownText(process, snapshot.header.exceptionRecord);
    return BlockReadResult::kRead;
}

const wchar_t* DescribeBlockReadResult(BlockReadResult result) {
    switch (result) {
        case BlockReadResult::kRead: return L"read";
        case BlockReadResult::kUnreadable: return L"block unreadable";
        case BlockReadResult::kBadSize: return L"block size implausible";
        case BlockReadResult::kBadString: return L"block string outside the block";
    }
    return L"unknown";
}

}  // namespace reporter
