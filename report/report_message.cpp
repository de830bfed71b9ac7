#include "report/report_batch.h"

#include "report/wire_writer.h"

namespace {

// The field numbers and enum values of report/pelora_datareport.proto.
namespace report_data {
constexpr int kClientVersion = 1;
constexpr int kUid = 2;
constexpr int kItems = 3;
constexpr int kClientBuild = 4;
constexpr int kClientSeq = 5;
constexpr int kTerminalType = 6;
constexpr int kDeviceId = 7;
constexpr int kOsVersion = 8;
constexpr int kDevice = 9;
constexpr int kTerminalTypePc = 1;
}  // namespace report_data

namespace report_item {
constexpr int kBid = 1;
constexpr int kTid = 2;
constexpr int kOpername = 3;
constexpr int kModule = 4;
constexpr int kAction = 5;
constexpr int kValues = 6;
constexpr int kNetworkType = 7;
constexpr int kFirstNetworkType = 1;  // NETWORK_TYPE_UNKNOWN
constexpr int kLastNetworkType = 6;   // NETWORK_TYPE_WIRED
}  // namespace report_item

namespace report_value {
constexpr int kName = 1;
constexpr int kType = 2;
constexpr int kUint = 3;
constexpr int kText = 4;
constexpr int kDouble = 5;
constexpr int kTypeUint = 1;
constexpr int kTypeText = 2;
constexpr int kTypeDouble = 3;
}  // namespace report_value

std::string EncodeValue(const std::string& name, const ReportItemValue& value) {
    using namespace report_value;
    WireWriter out;
    out.Bytes(kName, name);
    switch (value.kind) {
        case ReportItemValue::Kind::kUint:
            out.Enum(kType, kTypeUint);
            out.Uint32(kUint, value.uintValue);
            break;
        case ReportItemValue::Kind::kText:
            out.Enum(kType, kTypeText);
            out.Bytes(kText, value.textValue);
            break;
        case ReportItemValue::Kind::kDouble:
            out.Enum(kType, kTypeDouble);
            out.Double(kDouble, value.doubleValue);
            break;
    }
    return out.bytes();
}

void TextIfNotEmpty(WireWriter& out, int field, const std::string& text) {
    if (!text.empty()) out.Bytes(field, text);
}

std::string EncodeItem(const PeloraReportItem& item) {
    using namespace report_item;
    WireWriter out;
    TextIfNotEmpty(out, kBid, item.bid());
    TextIfNotEmpty(out, kTid, item.tid());
    TextIfNotEmpty(out, kOpername, item.opername());
    TextIfNotEmpty(out, kModule, item.module());
    TextIfNotEmpty(out, kAction, item.action());
    // std::map keeps the names in byte order, which is the order on the wire.
    for (const auto& entry : item.values()) out.Bytes(kValues, EncodeValue(entry.first, entry.second));
    if (item.networkType() >= kFirstNetworkType && item.networkType() <= kLastNetworkType) {
        out.Enum(kNetworkType, item.networkType());
    }
    return out.bytes();
}

}  // namespace

ReportMessage MakeReportMessage(const ReportBatch& batch, size_t first, size_t count,
                                uint32_t clientSeq) {
    ReportMessage message;
    message.content = batch;
    message.content.items.clear();
    const size_t end = first + count < batch.items.size() ? first + count : batch.items.size();
    for (size_t i = first; i < end; ++i) message.content.items.push_back(batch.items[i]);
    message.clientSeq = clientSeq;
    return message;
}

std::string EncodeReportData(const ReportMessage& message) {
    using namespace report_data;
    const ReportBatch& content = message.content;
    WireWriter out;
    out.Bytes(kClientVersion, content.clientVersion);
    out.Bytes(kUid, content.uid);
    for (const PeloraReportItem& item : content.items) out.Bytes(kItems, EncodeItem(item));
    out.Bytes(kClientBuild, content.clientBuild);
    out.Uint32(kClientSeq, message.clientSeq);
    out.Enum(kTerminalType, kTerminalTypePc);
    out.Bytes(kDeviceId, content.deviceId);
    out.Bytes(kOsVersion, content.osVersion);
    out.Bytes(kDevice, content.device);
    return out.bytes();
}
