#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <lzma/7z.h>

namespace extract {

// The block of an entry without content (an empty file or a folder).
constexpr UInt32 kNoBlock = static_cast<UInt32>(-1);

// What the threads extracting one archive share: the opened archive, where its files go, which
// block is next, the sizes of the files written since the coordinator last looked, and the first
// failure. Setting `stop` makes every worker end within one piece of its current file.
struct BlockExtraction {
    const CSzArEx* database = nullptr;
    const void* data = nullptr;  // the archive bytes, read by each worker through its own stream
    size_t size = 0;
    std::wstring targetFolder;
    ISzAllocPtr alloc = nullptr;

    std::atomic<bool> stop{false};
    // The blocks in the order the workers take them (OrderBlocks); `nextBlock` indexes it.
    std::vector<UInt32> order;
    std::atomic<UInt32> nextBlock{0};

    // Sizes of finished files in the order they finished; taken by the coordinator.
    void FileFinished(std::uint32_t size);
    std::vector<std::uint32_t> TakeFinished();
    // The first failure wins and stops the others. A worker that fails because it was stopped
    // does not call this.
    void Fail(SRes result);
    SRes Result();

private:
    std::mutex m_mutex;
    std::vector<std::uint32_t> m_finished;
    SRes m_result = SZ_OK;
};

// The blocks of `database`, the most packed bytes first (ties in archive order). Decoding costs
// about what a block packs, so the workers that take them in this order end close together,
// rather than one decoding a large block alone after the others are done.
std::vector<UInt32> OrderBlocks(const CSzArEx* database);

// A worker thread's body: extracts blocks, taking the next free one each time, until none is
// left or the extraction is stopped. `parameter` is the BlockExtraction.
DWORD WINAPI BlockWorker(void* parameter);

// Writes one entry of no content (an empty file), as the workers write theirs.
SRes WriteEmptyEntry(const std::wstring& targetFolder, const CSzArEx* database, UInt32 index);

}  // namespace extract
