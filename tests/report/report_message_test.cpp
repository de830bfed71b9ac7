// How a batch becomes a ReportData message.
#include <gtest/gtest.h>

#include "pelora_datareport.pb.h"
#include "report/report_batch.h"

using pelora_data_report::ReportData;
using pelora_data_report::ReportItem;
using pelora_data_report::ReportValue;

namespace {

ReportBatch BatchWith(std::vector<PeloraReportItem> items) {
    ReportBatch batch;
    batch.clientVersion = "1.14.301";
    batch.uid = "42";
    batch.items = std::move(items);
    return batch;
}

// items[first, first + count) of the batch, encoded as the program sends them and read back with
// the classes protoc generated from the schema.
ReportData Sent(const ReportBatch& batch, size_t first, size_t count, uint32_t clientSeq) {
    ReportData message;
    EXPECT_TRUE(message.ParseFromString(EncodeReportData(MakeReportMessage(batch, first, count, clientSeq))));
    return message;
}

TEST(ReportMessage, HeaderFieldsAreAlwaysPresentAndRomNever) {
    const ReportData message = Sent(BatchWith({PeloraReportItem()}), 0, 1, 0);
    EXPECT_TRUE(message.has_string_clientversion());
    EXPECT_EQ("1.14.301", message.string_clientversion());
    EXPECT_EQ("42", message.string_uid());
    EXPECT_TRUE(message.has_string_clientbuild());
    EXPECT_TRUE(message.has_uint_clientseq());
    EXPECT_EQ(ReportData::TERMINAL_TYPE_PC, message.terminaltype());
    EXPECT_TRUE(message.has_string_deviceid());
    EXPECT_TRUE(message.has_string_osversion());
    EXPECT_TRUE(message.has_string_device());
    EXPECT_FALSE(message.has_string_rom());
}

TEST(ReportMessage, SequenceZeroStillTravelsOnTheWire) {
    const ReportData parsed = Sent(BatchWith({}), 0, 0, 0);
    EXPECT_TRUE(parsed.has_uint_clientseq());
    EXPECT_EQ(0u, parsed.uint_clientseq());
    EXPECT_EQ(0, parsed.list_reportitem_size());
}

TEST(ReportMessage, EmptyItemCarriesOnlyTheUnknownNetworkType) {
    const ReportData message = Sent(BatchWith({PeloraReportItem()}), 0, 1, 3);
    ASSERT_EQ(1, message.list_reportitem_size());
    const ReportItem& item = message.list_reportitem(0);
    EXPECT_FALSE(item.has_string_bid());
    EXPECT_FALSE(item.has_string_tid());
    EXPECT_FALSE(item.has_string_opername());
    EXPECT_FALSE(item.has_string_module());
    EXPECT_FALSE(item.has_string_action());
    EXPECT_EQ(0, item.list_reportvalue_size());
    ASSERT_TRUE(item.has_networktype());
    EXPECT_EQ(ReportItem::NETWORK_TYPE_UNKNOWN, item.networktype());
}

TEST(ReportMessage, NetworkTypeOutsideTheEnumIsLeftUnset) {
    PeloraReportItem wired, bogus;
    wired.SetNetworkType(6);
    bogus.SetNetworkType(9);
    const ReportData message = Sent(BatchWith({wired, bogus}), 0, 2, 0);
    EXPECT_EQ(ReportItem::NETWORK_TYPE_WIRED, message.list_reportitem(0).networktype());
    EXPECT_FALSE(message.list_reportitem(1).has_networktype());
}

TEST(ReportMessage, ValuesAreSortedByNameAndTheLastSetWins) {
    PeloraReportItem item;
    item.SetStringValue("res4", "200");
    item.SetStringValue("action", "installer_start");
    item.SetUintValue("installsrc", 7);
    item.SetStringValue("installsrc", "30004");
    item.SetDoubleValue("ratio", 0.5);
    const ReportData message = Sent(BatchWith({item}), 0, 1, 0);
    const ReportItem& out = message.list_reportitem(0);
    ASSERT_EQ(4, out.list_reportvalue_size());
    EXPECT_EQ("action", out.list_reportvalue(0).string_fieldname());
    EXPECT_EQ("installsrc", out.list_reportvalue(1).string_fieldname());
    EXPECT_EQ(ReportValue::VALUE_TYPE_STRING, out.list_reportvalue(1).valuetype());
    EXPECT_EQ("30004", out.list_reportvalue(1).string_value());
    EXPECT_FALSE(out.list_reportvalue(1).has_uint_value());
    EXPECT_EQ("ratio", out.list_reportvalue(2).string_fieldname());
    EXPECT_EQ(ReportValue::VALUE_TYPE_DOUBLE, out.list_reportvalue(2).valuetype());
    EXPECT_DOUBLE_EQ(0.5, out.list_reportvalue(2).double_value());
    EXPECT_EQ("res4", out.list_reportvalue(3).string_fieldname());
}

TEST(ReportMessage, TextsAreSetOnlyWhenNotEmpty) {
    PeloraReportItem item;
    item.SetBid("b");
    item.SetAction("");
    item.SetModule(nullptr);
    const ReportData message = Sent(BatchWith({item}), 0, 1, 0);
    EXPECT_EQ("b", message.list_reportitem(0).string_bid());
    EXPECT_FALSE(message.list_reportitem(0).has_string_action());
    EXPECT_FALSE(message.list_reportitem(0).has_string_module());
}

TEST(ReportMessage, ARangeOfTheBatchKeepsItsOrder) {
    std::vector<PeloraReportItem> items(12);
    for (size_t i = 0; i < items.size(); ++i) items[i].SetBid(std::to_string(i).c_str());
    const ReportData message = Sent(BatchWith(items), 10, 10, 5);
    ASSERT_EQ(2, message.list_reportitem_size());
    EXPECT_EQ("10", message.list_reportitem(0).string_bid());
    EXPECT_EQ("11", message.list_reportitem(1).string_bid());
}

}  // namespace
