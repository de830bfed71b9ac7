#include "report/report_batch.h"

#include "pelora_datareport.pb.h"

namespace {

using pelora_data_report::ReportData;
using pelora_data_report::ReportItem;
using pelora_data_report::ReportValue;

void FillValue(const std::string& name, const ReportItemValue& value, ReportValue* out) {
    out->set_string_fieldname(name);
    switch (value.kind) {
        case ReportItemValue::Kind::kUint:
            out->set_valuetype(ReportValue::VALUE_TYPE_UINT32);
            out->set_uint_value(value.uintValue);
            break;
        case ReportItemValue::Kind::kText:
            out->set_valuetype(ReportValue::VALUE_TYPE_STRING);
            out->set_string_value(value.textValue);
            break;
        case ReportItemValue::Kind::kDouble:
            out->set_valuetype(ReportValue::VALUE_TYPE_DOUBLE);
            out->set_double_value(value.doubleValue);
            break;
    }
}

void FillItem(const PeloraReportItem& item, ReportItem* out) {
    if (!item.bid().empty()) out->set_string_bid(item.bid());
    if (!item.tid().empty()) out->set_string_tid(item.tid());
    if (!item.opername().empty()) out->set_string_opername(item.opername());
    if (!item.module().empty()) out->set_string_module(item.module());
    if (!item.action().empty()) out->set_string_action(item.action());
    // std::map keeps the names in byte order, which is the order on the wire.
    for (const auto& entry : item.values()) FillValue(entry.first, entry.second, out->add_list_reportvalue());
    if (ReportItem::NetworkType_IsValid(item.networkType())) {
        out->set_networktype(static_cast<ReportItem::NetworkType>(item.networkType()));
    }
}

}  // namespace

void BuildReportData(const ReportBatch& batch, size_t first, size_t count, uint32_t clientSeq,
                     ReportData* message) {
    message->Clear();
    message->set_string_clientversion(batch.clientVersion);
    message->set_string_uid(batch.uid);
    message->set_string_clientbuild(batch.clientBuild);
    message->set_uint_clientseq(clientSeq);
    message->set_terminaltype(ReportData::TERMINAL_TYPE_PC);
    message->set_string_deviceid(batch.deviceId);
    message->set_string_osversion(batch.osVersion);
    message->set_string_device(batch.device);
    const size_t end = first + count < batch.items.size() ? first + count : batch.items.size();
    for (size_t i = first; i < end; ++i) FillItem(batch.items[i], message->add_list_reportitem());
}
