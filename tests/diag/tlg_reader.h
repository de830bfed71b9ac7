#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Reads records back from the bytes of a ".tlg" file, for the checks of the tests.
namespace diag_test {

struct DecodedRecord {
    size_t fileOffset = 0;
    std::uint32_t totalLength = 0;
    std::int32_t level = 0;
    std::uint32_t line = 0;
    std::uint32_t processId = 0;
    std::uint32_t threadId = 0;
    std::uint32_t tick = 0;
    std::uint32_t attachmentLength = 0;
    std::uint32_t reserved = 0;
    std::int64_t wallSeconds = 0;
    std::int64_t perfCounter = 0;
    std::uint32_t instanceCookie = 0;
    std::uint32_t processStartTick = 0;
    std::uint16_t functionOffset = 0, categoryOffset = 0, messageOffset = 0, attachmentOffset = 0;
    std::wstring moduleAddress, sourceFile, function, category, message;
};

std::uint32_t Get32(const std::vector<std::uint8_t>& bytes, size_t at);
std::uint16_t Get16(const std::vector<std::uint8_t>& bytes, size_t at);
// All records of `bytes`; stops (and sets `damaged`) at the first record it cannot read.
std::vector<DecodedRecord> DecodeRecords(const std::vector<std::uint8_t>& bytes, bool* damaged);

}  // namespace diag_test
