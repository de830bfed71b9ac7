#include "payload/crash_block_reader.h"

#include <vector>

#include "payload/reporter_constants.h"

namespace reporter {
namespace {

bool ReadRemote(HANDLE process, uintptr_t address, void* buffer, size_t size) {
    SIZE_T read = 0;
    return ReadProcessMemory(process, reinterpret_cast<const void*>(address), buffer, size, &read) &&
           read == size;
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
