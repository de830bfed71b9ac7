// The byte layout of one binary-log record, as readers of the ".tlg" file rely on it.
#include <gtest/gtest.h>

#include "diag/cvlog_record.h"
#include "diag/diag_constants.h"
#include "tlg_reader.h"

namespace {

using diag::CVLogRecord;
using diag::CVLogRecordFields;
namespace layout = diag::cvlog_layout;

CVLogRecordFields SampleFields() {
    CVLogRecordFields fields;
    fields.level = 2;
    fields.line = 412;
    fields.processId = 0x1111;
    fields.threadId = 0x2222;
    fields.tick = 0x33334444;
    fields.wallSeconds = 1457341502;
    fields.perfCounter = 0x0102030405060708LL;
    fields.instanceCookie = 0xCAFE;
    fields.processStartTick = 0x1000;
    fields.moduleAddress = L"0x400000";
    fields.sourceFile = L"C:\\src\\report\\data_report_mgr.cpp";
    fields.function = L"DataReportMgr::Run";
    fields.category = L"PeloraDataReport";
    fields.message = L"send ok";
    return fields;
}

std::vector<std::uint8_t> Bytes(const CVLogRecord& record) {
    return std::vector<std::uint8_t>(record.Data(), record.Data() + record.Size());
}

diag_test::DecodedRecord DecodeOne(const CVLogRecord& record) {
    bool damaged = true;
    const auto records = diag_test::DecodeRecords(Bytes(record), &damaged);
    EXPECT_FALSE(damaged);
    EXPECT_EQ(records.size(), 1u);
    return records.empty() ? diag_test::DecodedRecord() : records[0];
}

TEST(CVLogRecordLayout, FixedFieldsSitAtTheirOffsets) {
    auto record = CVLogRecord::Build(SampleFields());
    ASSERT_TRUE(record);
    const auto decoded = DecodeOne(*record);
    EXPECT_EQ(decoded.totalLength, record->Size());
    EXPECT_EQ(decoded.level, 2);
    EXPECT_EQ(decoded.line, 412u);
    EXPECT_EQ(decoded.processId, 0x1111u);
    EXPECT_EQ(decoded.threadId, 0x2222u);
    EXPECT_EQ(decoded.tick, 0x33334444u);
    EXPECT_EQ(decoded.attachmentLength, 0u);
    EXPECT_EQ(decoded.reserved, 0u);
    EXPECT_EQ(decoded.wallSeconds, 1457341502);
    EXPECT_EQ(decoded.instanceCookie, 0xCAFEu);
    EXPECT_EQ(decoded.processStartTick, 0x1000u);
    EXPECT_EQ(decoded.function, L"DataReportMgr::Run");
    EXPECT_EQ(decoded.category, L"PeloraDataReport");
    EXPECT_EQ(decoded.message, L"send ok");
    EXPECT_EQ(decoded.sourceFile, L"data_report_mgr.cpp");
}

TEST(CVLogRecordLayout, StringOffsetsFollowEachOtherFromTheFixedHeader) {
    auto record = CVLogRecord::Build(SampleFields());
    ASSERT_TRUE(record);
    const auto bytes = Bytes(*record);
    const size_t function = 168, category = function + 2 * (18 + 1),
                 message = category + 2 * (16 + 1), attachment = message + 2 * (7 + 1);
    EXPECT_EQ(diag_test::Get16(bytes, 56), function);
    EXPECT_EQ(diag_test::Get16(bytes, 58), category);
    EXPECT_EQ(diag_test::Get16(bytes, 60), message);
    EXPECT_EQ(diag_test::Get16(bytes, 62), attachment);
    // 168 + 38 + 34 + 16 = 256: already a multiple of 4.
    EXPECT_EQ(record->Size(), 256u);
}

TEST(CVLogRecordLayout, LengthIsPaddedWithZerosToAMultipleOfFour) {
    CVLogRecordFields fields = SampleFields();
    fields.message = L"ab";  // 168 + 38 + 34 + 6 = 246 -> 248
    auto record = CVLogRecord::Build(fields);
    ASSERT_TRUE(record);
    ASSERT_EQ(record->Size(), 248u);
    const auto bytes = Bytes(*record);
    EXPECT_EQ(bytes[246], 0);
    EXPECT_EQ(bytes[247], 0);
    for (size_t functionChars = 0; functionChars < 5; ++functionChars) {
        EXPECT_EQ(diag::CVLogRecordLength(functionChars, 3, 4) % 4, 0u) << functionChars;
    }
}

TEST(CVLogRecordLayout, FunctionNameIsPlainAndCategoryAndMessageAreScrambled) {
    auto record = CVLogRecord::Build(SampleFields());
    ASSERT_TRUE(record);
    const auto bytes = Bytes(*record);
    EXPECT_EQ(diag_test::Get16(bytes, 168), L'D');
    const size_t category = diag_test::Get16(bytes, 58);
    EXPECT_EQ(diag_test::Get16(bytes, category), L'P' ^ diag::kCVLogMasks[0]);
    EXPECT_EQ(diag_test::Get16(bytes, category + 2), L'e' ^ diag::kCVLogMasks[1]);
    // The terminator slot of a 16-character string holds mask 16.
    EXPECT_EQ(diag_test::Get16(bytes, category + 32), diag::kCVLogMasks[16]);
}

TEST(CVLogRecordLayout, ScramblingWrapsAroundTheTableAfterSixtyFourCharacters) {
    CVLogRecordFields fields = SampleFields();
    fields.message = std::wstring(70, L'x') + L"\u6620\u5f69";
    auto record = CVLogRecord::Build(fields);
    ASSERT_TRUE(record);
    const auto bytes = Bytes(*record);
    const size_t message = diag_test::Get16(bytes, 60);
    EXPECT_EQ(diag_test::Get16(bytes, message + 2 * 64), L'x' ^ diag::kCVLogMasks[0]);
    EXPECT_EQ(diag_test::Get16(bytes, message + 2 * 72), diag::kCVLogMasks[72 % 64]);
    EXPECT_EQ(DecodeOne(*record).message, fields.message);
}

TEST(CVLogRecordLayout, MasksAreNotAllZero) {
    // A zero mask would leave that position readable in the file.
    for (size_t i = 0; i < diag::kCVLogMaskCount; ++i) EXPECT_NE(diag::kCVLogMasks[i], 0) << i;
}

TEST(CVLogRecordLayout, CategoryAndMessageAreStoredTrimmed) {
    CVLogRecordFields fields = SampleFields();
    fields.category = L"  PeloraDataReport.Event\t";
    fields.message = L"\r\n  spaced message \r\n";
    auto record = CVLogRecord::Build(fields);
    ASSERT_TRUE(record);
    const auto decoded = DecodeOne(*record);
    EXPECT_EQ(decoded.category, L"PeloraDataReport.Event");
    EXPECT_EQ(decoded.message, L"spaced message");
    EXPECT_EQ(record->Size(), diag::CVLogRecordLength(18, 22, 14));
}

TEST(CVLogRecordLayout, EmptyMessageIsJustItsTerminatorSlot) {
    CVLogRecordFields fields = SampleFields();
    fields.message = L"   ";
    auto record = CVLogRecord::Build(fields);
    ASSERT_TRUE(record);
    const auto bytes = Bytes(*record);
    const size_t message = diag_test::Get16(bytes, 60);
    EXPECT_EQ(diag_test::Get16(bytes, 62), message + 2);
    EXPECT_EQ(diag_test::Get16(bytes, message), diag::kCVLogMasks[0]);
    EXPECT_EQ(DecodeOne(*record).message, L"");
}

TEST(CVLogRecordLayout, SourceFileKeepsOnlyTheBaseNameAfterEitherSeparator) {
    CVLogRecordFields fields = SampleFields();
    fields.sourceFile = L"C:\\work/src\\diag/cvlog.cpp";
    auto record = CVLogRecord::Build(fields);
    ASSERT_TRUE(record);
    EXPECT_EQ(DecodeOne(*record).sourceFile, L"cvlog.cpp");

    fields.sourceFile = L"D:/tree\\a_source_file_name_longer_than_thirty_one.cpp";
    record = CVLogRecord::Build(fields);
    ASSERT_TRUE(record);
    const auto decoded = DecodeOne(*record);
    EXPECT_EQ(decoded.sourceFile, L"a_source_file_name_longer_than_");
    EXPECT_EQ(decoded.sourceFile.size(), 31u);
    // The function name still starts right after the 32-character slot.
    EXPECT_EQ(decoded.function, L"DataReportMgr::Run");
}

TEST(CVLogRecordLayout, ModuleAddressBelowLevelFourAndCounterFromLevelFour) {
    CVLogRecordFields fields = SampleFields();
    fields.level = 3;
    auto low = CVLogRecord::Build(fields);
    fields.level = 4;
    auto high = CVLogRecord::Build(fields);
    ASSERT_TRUE(low && high);
    const auto lowDecoded = DecodeOne(*low);
    const auto highDecoded = DecodeOne(*high);
    EXPECT_EQ(lowDecoded.moduleAddress, L"0x400000");
    EXPECT_EQ(lowDecoded.perfCounter, 0);
    EXPECT_EQ(highDecoded.moduleAddress, L"");
    EXPECT_EQ(highDecoded.perfCounter, 0x0102030405060708LL);
}

TEST(CVLogRecordLayout, ModuleAddressIsCutToNineteenCharacters) {
    CVLogRecordFields fields = SampleFields();
    fields.moduleAddress = L"0x0123456789ABCDEF0123";
    auto record = CVLogRecord::Build(fields);
    ASSERT_TRUE(record);
    EXPECT_EQ(DecodeOne(*record).moduleAddress, L"0x0123456789ABCDEF0");
}

TEST(CVLogRecordLayout, LongMessageHasNoLimit) {
    CVLogRecordFields fields = SampleFields();
    fields.message.assign(40000, L'm');
    auto record = CVLogRecord::Build(fields);
    ASSERT_TRUE(record);
    EXPECT_EQ(DecodeOne(*record).message.size(), 40000u);
}

TEST(CVLogRecordLayout, ProcessFieldsAreStampedAfterBuilding) {
    auto record = CVLogRecord::Build(SampleFields());
    ASSERT_TRUE(record);
    record->SetProcessFields(77, 88, 99);
    const auto decoded = DecodeOne(*record);
    EXPECT_EQ(decoded.processId, 77u);
    EXPECT_EQ(decoded.instanceCookie, 88u);
    EXPECT_EQ(decoded.processStartTick, 99u);
    EXPECT_EQ(decoded.message, L"send ok");
}

}  // namespace
