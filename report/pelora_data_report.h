#pragma once

#include "report/report_item.h"

// The telemetry facade: a plain table of operations, no reference counting. Everything forwards
// to the process-wide report manager.
class IPeloraDataReport {
public:
    virtual int InitializeDataReport() = 0;
    // Mode 1 flushes and waits up to `milliseconds` for the last report thread; mode 0 stops it.
    virtual int UninitalizeDataReport(int mode, int milliseconds) = 0;
    virtual void SetClientVersion(const char* text) = 0;
    virtual void SetUid(const char* text) = 0;
    virtual void SetClientBuild(const char* text) = 0;
    // The device fields of the header always travel empty in this program: these accept and
    // ignore their argument.
    virtual void SetDeviceID(const char* text) = 0;
    virtual void SetOsVersion(const char* text) = 0;
    virtual void SetDevice(const char* text) = 0;
    virtual void SetRom(const char* text) = 0;
    virtual void SetTerminalType(int type) = 0;
    // Queues a copy of `item` and destroys it: the facade takes ownership of every item made by
    // CreatePeloraReportItem. Items of any other origin are ignored.
    virtual void AddReportItem(IPeloraReportItem* item, bool immediate) = 0;
    // Starts the report thread if none runs.
    virtual int Flush() = 0;
    virtual ~IPeloraDataReport() = default;
};

class DataReportMgr;

class CPeloraDataReport final : public IPeloraDataReport {
public:
    int InitializeDataReport() override;
    int UninitalizeDataReport(int mode, int milliseconds) override;
    void SetClientVersion(const char* text) override;
    void SetUid(const char* text) override;
    void SetClientBuild(const char* text) override;
    void SetDeviceID(const char* text) override;
    void SetOsVersion(const char* text) override;
    void SetDevice(const char* text) override;
    void SetRom(const char* text) override;
    void SetTerminalType(int type) override;
    void AddReportItem(IPeloraReportItem* item, bool immediate) override;
    int Flush() override;
};

// Both return null when the allocation fails.
IPeloraDataReport* CreatePeloraDataReport();
IPeloraReportItem* CreatePeloraReportItem();
