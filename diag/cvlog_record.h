#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace diag {

// Byte layout of one binary-log record; the file is a plain concatenation of records.
namespace cvlog_layout {
constexpr std::size_t kTotalLength = 0;
constexpr std::size_t kLevel = 4;
constexpr std::size_t kLine = 8;
constexpr std::size_t kProcessId = 12;
constexpr std::size_t kThreadId = 16;
constexpr std::size_t kTick = 20;
constexpr std::size_t kAttachmentLength = 24;
constexpr std::size_t kReserved = 28;
constexpr std::size_t kWallSeconds = 32;
constexpr std::size_t kPerfCounter = 40;
constexpr std::size_t kInstanceCookie = 48;
constexpr std::size_t kProcessStartTick = 52;
constexpr std::size_t kFunctionOffset = 56;
constexpr std::size_t kCategoryOffset = 58;
constexpr std::size_t kMessageOffset = 60;
constexpr std::size_t kAttachmentOffset = 62;
constexpr std::size_t kModuleAddress = 64;
constexpr std::size_t kModuleAddressChars = 20;
constexpr std::size_t kSourceFile = 104;
constexpr std::size_t kSourceFileChars = 32;
constexpr std::size_t kHeaderSize = 168;  // the function name starts here
}  // namespace cvlog_layout

constexpr std::size_t kCVLogMaskCount = 64;
// The fixed XOR masks of the scrambled strings; tools/tlgdump.py carries the same table.
extern const std::uint16_t kCVLogMasks[kCVLogMaskCount];

// Everything one record says, before it is laid out.
struct CVLogRecordFields {
    int level = 0;
    std::uint32_t line = 0;
    std::uint32_t processId = 0;
    std::uint32_t threadId = 0;
    std::uint32_t tick = 0;
    std::int64_t wallSeconds = 0;
    std::int64_t perfCounter = 0;  // only kept for levels of kPreciseTimingLevel and above
    std::uint32_t instanceCookie = 0;
    std::uint32_t processStartTick = 0;
    std::wstring moduleAddress;  // only kept below kPreciseTimingLevel, cut to 19 characters
    std::wstring sourceFile;     // a full path is fine; only its base name is stored
    std::wstring function;
    std::wstring category;       // stored trimmed and scrambled
    std::wstring message;        // stored trimmed and scrambled
};

// One laid-out record: an owned block of bytes whose length is a multiple of 4.
class CVLogRecord {
public:
    // Lays out `fields`; null when the block cannot be allocated (the record is then dropped).
    static std::unique_ptr<CVLogRecord> Build(const CVLogRecordFields& fields);

    const std::uint8_t* Data() const { return m_bytes.get(); }
    std::size_t Size() const { return m_size; }

    // The writer stamps these when it queues the record.
    void SetProcessFields(std::uint32_t processId, std::uint32_t instanceCookie,
                          std::uint32_t processStartTick);

private:
    CVLogRecord(std::unique_ptr<std::uint8_t[]> bytes, std::size_t size)
        : m_bytes(std::move(bytes)), m_size(size) {}

    std::unique_ptr<std::uint8_t[]> m_bytes;
    std::size_t m_size;
};

// Total record length for strings of these lengths in characters (attachment empty).
std::uint64_t CVLogRecordLength(std::size_t functionChars, std::size_t categoryChars,
                              std::size_t messageChars);
// Without leading and trailing white space.
std::wstring TrimWhiteSpace(const std::wstring& text);
// The part after the last "\" or "/".
std::wstring SourceBaseName(const std::wstring& path);
// XORs position i with kCVLogMasks[i % 64]; applying it twice gives the text back.
std::uint16_t ScrambleChar(wchar_t c, std::size_t position);

}  // namespace diag
