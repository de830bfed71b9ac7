#include "report/report_item.h"

namespace {

std::string TextOrEmpty(const char* text) { return text ? std::string(text) : std::string(); }

}  // namespace

void PeloraReportItem::SetBid(const char* text) { m_strBid = TextOrEmpty(text); }
void PeloraReportItem::SetTid(const char* text) { m_strTid = TextOrEmpty(text); }
void PeloraReportItem::SetOpername(const char* text) { m_strOpername = TextOrEmpty(text); }
void PeloraReportItem::SetModule(const char* text) { m_strModule = TextOrEmpty(text); }
void PeloraReportItem::SetAction(const char* text) { m_strAction = TextOrEmpty(text); }
void PeloraReportItem::SetNetworkType(int type) { m_nNetworkType = type; }

void PeloraReportItem::SetUintValue(const char* name, uint32_t value) {
    ReportItemValue entry;
    entry.kind = ReportItemValue::Kind::kUint;
    entry.uintValue = value;
    m_values[TextOrEmpty(name)] = entry;
}

void PeloraReportItem::SetStringValue(const char* name, const char* value) {
    ReportItemValue entry;
    entry.kind = ReportItemValue::Kind::kText;
    entry.textValue = TextOrEmpty(value);
    m_values[TextOrEmpty(name)] = entry;
}

void PeloraReportItem::SetDoubleValue(const char* name, double value) {
    ReportItemValue entry;
    entry.kind = ReportItemValue::Kind::kDouble;
    entry.doubleValue = value;
    m_values[TextOrEmpty(name)] = entry;
}
