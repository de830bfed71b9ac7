#include "report/installer_events.h"

#include <windows.h>

#include "common/product.h"
#include "diag/ansi_text.h"
#include "report/device_identity.h"
#include "report/pelora_data_report.h"
#include "report/report_texts.h"

using namespace report_texts;

namespace {

// Created once, never released: the facade lives until the process ends. Written only by
// ReportInit, which runs before any event.
IPeloraDataReport* g_facade = nullptr;
bool g_ready = false;
std::string g_installSource;
std::string g_firstChannel;
std::string g_registeredChannel;

enum class EventKind { kStart, kDone, kAbort, kError, kUninstallerDone };

void SendEvent(EventKind kind, uint32_t number, uint32_t result = 0, bool userDataRemoved = false) {
    if (!g_ready) return;
    IPeloraReportItem* item = CreatePeloraReportItem();
    if (!item) return;
    item->SetBid(kBid);
    item->SetTid(kTid);
    const char* action = kind == EventKind::kStart             ? kActionStart
                         : kind == EventKind::kDone            ? kActionDone
                         : kind == EventKind::kAbort           ? kActionAbort
                         : kind == EventKind::kUninstallerDone ? kActionUninstallerDone
                                                               : kActionError;
    item->SetStringValue(kValueAction, action);
    item->SetStringValue(kValueInstallSource, g_installSource.c_str());
    if (kind == EventKind::kDone || kind == EventKind::kUninstallerDone)
        item->SetUintValue(kValueStartSeconds, number);
    item->SetStringValue(kValueFirstChannel, g_firstChannel.c_str());
    item->SetStringValue(kValueRegisteredChannel, g_registeredChannel.c_str());
    item->SetStringValue(kValueDeviceIdentity, GetDeviceIdentity().c_str());
    if (kind == EventKind::kError) item->SetUintValue(kValueErrorCode, number);
    if (kind == EventKind::kUninstallerDone) {
        item->SetUintValue(kValueUninstallResult, result);
        item->SetUintValue(kValueUserDataRemoved, userDataRemoved ? 1 : 0);
    }
    g_facade->AddReportItem(item, true);
}

}  // namespace

bool ReportInit(const std::wstring& res3Source, const std::wstring& res4Source,
                const std::wstring& installsrcSource, const std::wstring& uid) {
    if (!g_facade) g_facade = CreatePeloraDataReport();
    if (!g_facade) return false;
    g_facade->SetClientVersion(diag::WideToAnsi(product::kVersion).c_str());
    g_facade->SetUid(diag::WideToAnsi(uid).c_str());
    g_installSource = diag::WideToAnsi(installsrcSource);
    g_firstChannel = diag::WideToAnsi(res3Source);
    g_registeredChannel = diag::WideToAnsi(res4Source);
    g_ready = true;
    return true;
}

void ReportInstallerStart() { SendEvent(EventKind::kStart, 0); }
void ReportInstallerDone(uint32_t elapsedSeconds) { SendEvent(EventKind::kDone, elapsedSeconds); }
void ReportInstallerAbort() { SendEvent(EventKind::kAbort, 0); }
void ReportInstallerError(uint32_t code) { SendEvent(EventKind::kError, code); }

void ReportUninstallerDone(uint32_t result, uint32_t elapsedSeconds, bool userDataRemoved) {
    SendEvent(EventKind::kUninstallerDone, elapsedSeconds, result, userDataRemoved);
}

void ReportShutdown(uint32_t milliseconds) {
    if (!g_ready) return;
    g_facade->UninitalizeDataReport(1, static_cast<int>(milliseconds));
}
