#pragma once

#include <cstdint>
#include <map>
#include <string>

// One telemetry event as the caller builds it. The interface has no destructor slot: an item is
// handed to IPeloraDataReport::AddReportItem, which queues a copy and destroys the item.
class IPeloraReportItem {
public:
    virtual void SetBid(const char* text) = 0;
    virtual void SetTid(const char* text) = 0;
    virtual void SetOpername(const char* text) = 0;
    virtual void SetModule(const char* text) = 0;
    virtual void SetAction(const char* text) = 0;
    // 1 to 6 are the ReportItem.NetworkType values; other values are kept but not sent.
    virtual void SetNetworkType(int type) = 0;
    virtual void SetUintValue(const char* name, uint32_t value) = 0;
    virtual void SetStringValue(const char* name, const char* value) = 0;
    virtual void SetDoubleValue(const char* name, double value) = 0;

protected:
    ~IPeloraReportItem() = default;
};

// A named value of an item: exactly one of the three kinds.
struct ReportItemValue {
    enum class Kind { kUint, kText, kDouble };
    Kind kind = Kind::kUint;
    uint32_t uintValue = 0;
    std::string textValue;
    double doubleValue = 0.0;
};

// Texts are narrow (ANSI code page). A null text counts as empty. Values are ordered by the byte
// order of their names; setting a name again replaces its kind and value.
class PeloraReportItem final : public IPeloraReportItem {
public:
    void SetBid(const char* text) override;
    void SetTid(const char* text) override;
    void SetOpername(const char* text) override;
    void SetModule(const char* text) override;
    void SetAction(const char* text) override;
    void SetNetworkType(int type) override;
    void SetUintValue(const char* name, uint32_t value) override;
    void SetStringValue(const char* name, const char* value) override;
    void SetDoubleValue(const char* name, double value) override;
    virtual ~PeloraReportItem() = default;

    const std::string& bid() const { return m_strBid; }
    const std::string& tid() const { return m_strTid; }
    const std::string& opername() const { return m_strOpername; }
    const std::string& module() const { return m_strModule; }
    const std::string& action() const { return m_strAction; }
    int networkType() const { return m_nNetworkType; }
    const std::map<std::string, ReportItemValue>& values() const { return m_values; }

private:
    std::string m_strBid;
    std::string m_strTid;
    std::string m_strOpername;
    std::string m_strModule;
    std::string m_strAction;
    int m_nNetworkType = 1;
    std::map<std::string, ReportItemValue> m_values;
};
