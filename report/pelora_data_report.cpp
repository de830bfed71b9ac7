#include "report/pelora_data_report.h"

#include <new>

#include "report/data_report_mgr.h"

namespace {

DataReportMgr& Manager() { return DataReportMgr::Instance(); }

}  // namespace

int CPeloraDataReport::InitializeDataReport() { return Manager().InitializeDataReport(); }

int CPeloraDataReport::UninitalizeDataReport(int mode, int milliseconds) {
    return Manager().UninitalizeDataReport(mode, milliseconds);
}

void CPeloraDataReport::SetClientVersion(const char* text) { Manager().SetClientVersion(text); }
void CPeloraDataReport::SetUid(const char* text) { Manager().SetUid(text); }
void CPeloraDataReport::SetClientBuild(const char* text) { Manager().SetClientBuild(text); }
void CPeloraDataReport::SetDeviceID(const char*) {}
void CPeloraDataReport::SetOsVersion(const char*) {}
void CPeloraDataReport::SetDevice(const char*) {}
void CPeloraDataReport::SetRom(const char*) {}
void CPeloraDataReport::SetTerminalType(int) {}

void CPeloraDataReport::AddReportItem(IPeloraReportItem* item, bool immediate) {
    // Every item this program hands over comes from CreatePeloraReportItem.
    PeloraReportItem* owned = dynamic_cast<PeloraReportItem*>(item);
    if (!owned) return;
    Manager().AddReportItem(*owned, immediate);
    delete owned;
}

int CPeloraDataReport::Flush() { return Manager().Flush(); }

IPeloraDataReport* CreatePeloraDataReport() { return new (std::nothrow) CPeloraDataReport(); }

IPeloraReportItem* CreatePeloraReportItem() { return new (std::nothrow) PeloraReportItem(); }
