#include "diag/cvlog_record.h"

#include <cstring>
#include <new>

#include "diag/diag_constants.h"

namespace diag {

const std::uint16_t kCVLogMasks[kCVLogMaskCount] = {
    0x6244, 0x0927, 0xC31F, 0x3B8E, 0xBC4B, 0x06A4, 0x910E, 0x8E7C,
    0x77D9, 0x36DD, 0xE784, 0xD2EF, 0xDA94, 0x2030, 0x764A, 0xFD11,
    0xB788, 0x673F, 0x8651, 0xDEE0, 0xA466, 0x6779, 0x7DCF, 0xB30D,
    0xCF8D, 0xD836, 0x69E5, 0x138E, 0x9ED9, 0xF921, 0x0C25, 0x0F3D,
    0x0B2F, 0x0232, 0xAE29, 0x40D9, 0x3227, 0x0F38, 0x1155, 0x655E,
    0x852A, 0x2EC8, 0x8634, 0x0E45, 0xB5AF, 0x3D78, 0xD618, 0x96EB,
    0x856F, 0xF553, 0xB79C, 0x7559, 0x0312, 0x0537, 0x7104, 0x24E5,
    0xDE3C, 0x5721, 0x1FB8, 0x5F68, 0x0CED, 0x9E2D, 0x2A9F, 0xC6DA,
};

namespace {

void Put16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void Put64(std::uint8_t* at, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Writes at most `maxChars` characters of `text` and a NUL; returns the bytes used.
std::size_t PutPlain(std::uint8_t* at, const std::wstring& text, std::size_t maxChars) {
    const std::size_t count = text.size() < maxChars ? text.size() : maxChars;
    for (std::size_t i = 0; i < count; ++i) Put16(at + 2 * i, static_cast<std::uint16_t>(text[i]));
    Put16(at + 2 * count, 0);
    return 2 * (count + 1);
}

std::size_t PutScrambled(std::uint8_t* at, const std::wstring& text) {
    for (std::size_t i = 0; i < text.size(); ++i) Put16(at + 2 * i, ScrambleChar(text[i], i));
    Put16(at + 2 * text.size(), ScrambleChar(L'\0', text.size()));
    return 2 * (text.size() + 1);
}

bool IsWhiteSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f';
}

}  // namespace

std::uint16_t ScrambleChar(wchar_t c, std::size_t position) {
    return static_cast<std::uint16_t>(static_cast<std::uint16_t>(c) ^
                                      kCVLogMasks[position % kCVLogMaskCount]);
}

std::wstring TrimWhiteSpace(const std::wstring& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsWhiteSpace(text[begin])) ++begin;
    while (end > begin && IsWhiteSpace(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

std::wstring SourceBaseName(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

std::uint64_t CVLogRecordLength(std::size_t functionChars, std::size_t categoryChars,
                                std::size_t messageChars) {
    const std::uint64_t variable = 2 * (static_cast<std::uint64_t>(functionChars) + 1) +
                                   2 * (static_cast<std::uint64_t>(categoryChars) + 1) +
                                   2 * (static_cast<std::uint64_t>(messageChars) + 1);
    return cvlog_layout::kHeaderSize + ((variable + 3) & ~static_cast<std::uint64_t>(3));
}

std::unique_ptr<CVLogRecord> CVLogRecord::Build(const CVLogRecordFields& fields) {
    namespace layout = cvlog_layout;
    const std::wstring category = TrimWhiteSpace(fields.category);
    const std::wstring message = TrimWhiteSpace(fields.message);
    const std::size_t categoryOffset = layout::kHeaderSize + 2 * (fields.function.size() + 1);
    const std::size_t messageOffset = categoryOffset + 2 * (category.size() + 1);
    const std::size_t attachmentOffset = messageOffset + 2 * (message.size() + 1);
    const std::uint64_t fullLength =
        CVLogRecordLength(fields.function.size(), category.size(), message.size());
    // The category and message offsets are 16-bit fields: a function name or category so long
    // that the message would start beyond them cannot be laid out, and such a record is dropped.
    // The message itself may be of any length; the attachment offset behind it is then clamped
    // (the attachment is always empty, its length field says so).
    if (messageOffset > 0xFFFF || fullLength > 0xFFFFFFFFull) return nullptr;
    const std::size_t total = static_cast<std::size_t>(fullLength);

    std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[total]);
    if (!bytes) return nullptr;
    std::uint8_t* block = bytes.get();
    std::memset(block, 0, total);

    Put32(block + layout::kTotalLength, static_cast<std::uint32_t>(total));
    Put32(block + layout::kLevel, static_cast<std::uint32_t>(fields.level));
    Put32(block + layout::kLine, fields.line);
    Put32(block + layout::kProcessId, fields.processId);
    Put32(block + layout::kThreadId, fields.threadId);
    Put32(block + layout::kTick, fields.tick);
    Put32(block + layout::kAttachmentLength, 0);
    Put32(block + layout::kReserved, 0);
    Put64(block + layout::kWallSeconds, static_cast<std::uint64_t>(fields.wallSeconds));
    const bool precise = fields.level >= kPreciseTimingLevel;
    Put64(block + layout::kPerfCounter,
          precise ? static_cast<std::uint64_t>(fields.perfCounter) : 0);
    Put32(block + layout::kInstanceCookie, fields.instanceCookie);
    Put32(block + layout::kProcessStartTick, fields.processStartTick);
    Put16(block + layout::kFunctionOffset, static_cast<std::uint16_t>(layout::kHeaderSize));
    Put16(block + layout::kCategoryOffset, static_cast<std::uint16_t>(categoryOffset));
    Put16(block + layout::kMessageOffset, static_cast<std::uint16_t>(messageOffset));
    Put16(block + layout::kAttachmentOffset,
          static_cast<std::uint16_t>(attachmentOffset > 0xFFFF ? 0xFFFF : attachmentOffset));

    if (!precise) {
        PutPlain(block + layout::kModuleAddress, fields.moduleAddress,
                 layout::kModuleAddressChars - 1);
    }
    PutPlain(block + layout::kSourceFile, SourceBaseName(fields.sourceFile),
             layout::kSourceFileChars - 1);
    PutPlain(block + layout::kHeaderSize, fields.function, fields.function.size());
    PutScrambled(block + categoryOffset, category);
    PutScrambled(block + messageOffset, message);

    return std::unique_ptr<CVLogRecord>(new (std::nothrow) CVLogRecord(std::move(bytes), total));
}

void CVLogRecord::SetProcessFields(std::uint32_t processId, std::uint32_t instanceCookie,
                                   std::uint32_t processStartTick) {
    Put32(m_bytes.get() + cvlog_layout::kProcessId, processId);
    Put32(m_bytes.get() + cvlog_layout::kInstanceCookie, instanceCookie);
    Put32(m_bytes.get() + cvlog_layout::kProcessStartTick, processStartTick);
}

}  // namespace diag
