// The uninstaller "PeloraUninst.exe": takes the installed product off the machine, asking first
// in its window, or silently with /mode:noui. Exit code 0 when the product was removed, 1 when
// the removal failed, was refused or cancelled, -1 when the uninstaller could not start.
#include <windows.h>

#include <objbase.h>

#include <atomic>

#include "deploy/deploy_constants.h"
#include "deploy/install_paths.h"
#include "deploy/product_registry.h"
#include "deploy/product_removal.h"
#include "deploy/removal_records.h"
#include "deploy/removal_constants.h"
#include "deploy/shell_pin_requests.h"
#include "diag/install_log.h"
#include "diag/library_search.h"
#include "diag/win_handle.h"
#include "payload/uninstall_options.h"
#if defined(PELORA_UNINSTALL_TEST_PAUSE)
#include "payload/test_unregister_pause.h"
#endif
#include "report/installer_events.h"
#include "ui/uninstall/uninstall_window.h"

namespace {

constexpr wchar_t kSingleInstanceMutex[] = L"Global\\PeloraUninstaller";
constexpr uint32_t kReportShutdownMs = 5000;
constexpr wchar_t kLogStarted[] = L"[uninstall]started: %s\r\n";
constexpr wchar_t kLogAlreadyRunning[] = L"[uninstall]another uninstaller is running\r\n";

// The window's view of the removal.
class RemovalHandler : public ui::UninstallWindowHandler {
public:
    explicit RemovalHandler(ProductRemoval& removal) : m_removal(removal) {}

    bool IsClientRunning() override { return m_removal.IsClientRunning(); }
    bool CloseClient() override { return m_removal.CloseClient(); }
    int Remove(bool removeData, const std::function<void(double)>& progress) override {
        m_started = true;
        m_removeData = removeData;
        return m_removal.Remove(removeData, progress);
    }

    bool Started() const { return m_started; }
    bool RemoveData() const { return m_removeData; }

private:
    ProductRemoval& m_removal;
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_removeData{false};
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    diag::RestrictLibrarySearchToSystem();
    InstallLog::Open(InstallLog::DefaultPath());
    InstallLog::Format(kLogStarted, GetCommandLineW());
    const UninstallOptions options = ParseUninstallOptions(GetCommandLineW());

    diag::ScopedHandle mutex(CreateMutexW(nullptr, FALSE, kSingleInstanceMutex));
    if (!mutex.IsValid() || GetLastError() == ERROR_ALREADY_EXISTS) {
        InstallLog::Format(kLogAlreadyRunning);
        return -1;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return -1;

#if defined(PELORA_UNINSTALL_TEST_PAUSE)
    ArmTestUnregisterPause();
#endif
    // Side files an earlier run could not hand to the next start go now.
    RemoveLeftovers();

    const DWORD start = GetTickCount();
    // The channels are read while the product key still exists.
    const std::wstring registeredChannel = ReadRegisteredChannel();
    ReportInit(ReadFirstChannel(), registeredChannel, registeredChannel, L"");

    ProductRemoval removal(SystemShellPinRequests());
    std::wstring refusal;
    const bool prepared = removal.Prepare(refusal);
    int result = 1;
    bool removeData = options.removeData;
    if (options.silent) {
        if (prepared && removal.IsClientRunning()) {
            // Silently nothing is ended: the user may be live; the caller learns it from the code.
            InstallLog::Format(deploy::kLogUninstallClientRunning);
        } else if (prepared) {
            result = removal.Remove(removeData, nullptr);
        }
    } else {
        RemovalHandler handler(removal);
        result = ui::RunUninstallWindow(instance, handler, prepared ? std::wstring() : refusal);
        removeData = handler.RemoveData();
        if (!handler.Started() && result == 0) result = 1;
    }

    ReportUninstallerDone(static_cast<uint32_t>(result), (GetTickCount() - start) / 1000, removeData && result == 0);
    ReportShutdown(kReportShutdownMs);
    CoUninitialize();
    InstallLog::Close();
    // With the user's data go the product's logs: several install and uninstall runs leave
    // megabytes of them. Without it they stay, for support.
    if (result == 0 && removeData) ProductRemoval::RemoveProductLogs();
    return result;
}
