#include "tlg_reader.h"

#include "diag/cvlog_record.h"

namespace diag_test {
namespace {

std::uint64_t Get64(const std::vector<std::uint8_t>& bytes, size_t at) {
    return static_cast<std::uint64_t>(Get32(bytes, at)) |
           (static_cast<std::uint64_t>(Get32(bytes, at + 4)) << 32);
}

// A NUL-terminated plain string of at most `limit` bytes starting at `at`.
bool ReadPlain(const std::vector<std::uint8_t>& bytes, size_t at, size_t limit, std::wstring& out) {
    out.clear();
    for (size_t i = at; i + 1 < at + limit && i + 1 < bytes.size(); i += 2) {
        const wchar_t c = Get16(bytes, i);
        if (c == 0) return true;
        out += c;
    }
    return false;
}

bool ReadScrambled(const std::vector<std::uint8_t>& bytes, size_t at, size_t end, std::wstring& out) {
    out.clear();
    for (size_t i = at, position = 0; i + 1 < end; i += 2, ++position) {
        const wchar_t c = static_cast<wchar_t>(
            Get16(bytes, i) ^ diag::kCVLogMasks[position % diag::kCVLogMaskCount]);
        if (c == 0) return true;
        out += c;
    }
    return false;
}

}  // namespace

std::uint32_t Get32(const std::vector<std::uint8_t>& bytes, size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[at + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

std::uint16_t Get16(const std::vector<std::uint8_t>& bytes, size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::vector<DecodedRecord> DecodeRecords(const std::vector<std::uint8_t>& bytes, bool* damaged) {
    namespace layout = diag::cvlog_layout;
    std::vector<DecodedRecord> records;
    if (damaged) *damaged = false;
    size_t offset = 0;
    while (offset < bytes.size()) {
        if (bytes.size() - offset < layout::kHeaderSize) break;
        DecodedRecord record;
        record.fileOffset = offset;
        record.totalLength = Get32(bytes, offset);
        if (record.totalLength < layout::kHeaderSize || record.totalLength % 4 != 0 ||
            record.totalLength > bytes.size() - offset) {
            break;
        }
        const std::vector<std::uint8_t> block(bytes.begin() + offset,
                                              bytes.begin() + offset + record.totalLength);
        record.level = static_cast<std::int32_t>(Get32(block, layout::kLevel));
        record.line = Get32(block, layout::kLine);
        record.processId = Get32(block, layout::kProcessId);
        record.threadId = Get32(block, layout::kThreadId);
        record.tick = Get32(block, layout::kTick);
        record.attachmentLength = Get32(block, layout::kAttachmentLength);
        record.reserved = Get32(block, layout::kReserved);
        record.wallSeconds = static_cast<std::int64_t>(Get64(block, layout::kWallSeconds));
        record.perfCounter = static_cast<std::int64_t>(Get64(block, layout::kPerfCounter));
        record.instanceCookie = Get32(block, layout::kInstanceCookie);
        record.processStartTick = Get32(block, layout::kProcessStartTick);
        record.functionOffset = Get16(block, layout::kFunctionOffset);
        record.categoryOffset = Get16(block, layout::kCategoryOffset);
        record.messageOffset = Get16(block, layout::kMessageOffset);
        record.attachmentOffset = Get16(block, layout::kAttachmentOffset);
        const bool ok =
            ReadPlain(block, layout::kModuleAddress, 2 * layout::kModuleAddressChars, record.moduleAddress) &&
            ReadPlain(block, layout::kSourceFile, 2 * layout::kSourceFileChars, record.sourceFile) &&
            record.functionOffset < block.size() &&
            ReadPlain(block, record.functionOffset, block.size() - record.functionOffset, record.function) &&
            record.categoryOffset < block.size() &&
            ReadScrambled(block, record.categoryOffset, block.size(), record.category) &&
            record.messageOffset < block.size() &&
            ReadScrambled(block, record.messageOffset, block.size(), record.message);
        if (!ok) break;
        records.push_back(record);
        offset += record.totalLength;
    }
    if (damaged) *damaged = offset != bytes.size();
    return records;
}

}  // namespace diag_test
