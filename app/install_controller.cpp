#include "app/install_controller.h"

#include <memory>

#include "app/install_errors.h"
#include "app/install_manager.h"
#include "common/product.h"
#include "deploy/file_system.h"
#include "deploy/install_paths.h"
#include "diag/install_log.h"
#include "diag/windows_version.h"
#include "ui/install_ui_manager.h"

namespace {

constexpr uint32_t kMinimumOsVersion = 0x500;
// A stopped extraction ends within its 10 ms poll and an idle worker at once; a phase that is
// running finishes its current step.
constexpr DWORD kEngineStopMs = 5000;

}  // namespace

const wchar_t* StartupMessage(StartupCode code) {
    switch (code) {
        case kStartupWindowsTooOld: return L"操作系统版本太低，安装无法继续。";
        case kStartupHelperFailed: return L"安装包初始失败";
        case kStartupAlreadyRunning: return L"岚拓映彩直播安装程序已经在运行。";
        default: return nullptr;
    }
}

InstallController::InstallController() = default;

InstallController::~InstallController() {
    if (!m_bEngineStopped) static_cast<void>(m_pEngine.release());
}

bool InstallController::Init(HINSTANCE module) {
    m_hModule = module;
    const StartupCode code = PrepareRun();
    ParseCommandLine(m_options);
    switch (m_options.Mode()) {
        case SetupMode::Fast:
        case SetupMode::Normal: {
            if (code == kStartupOk) return true;
            if (const wchar_t* message = StartupMessage(code)) {
                MessageBoxW(nullptr, message, product::kMessageCaption, MB_ICONWARNING);
            }
            return false;
        }
        case SetupMode::NoUi:
            return code == kStartupOk;
    }
    return false;
}

StartupCode InstallController::PrepareRun() {
    m_hMutex.Reset(CreateMutexW(nullptr, TRUE, product::kSingleInstanceMutex));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        InstallLog::Format(L"安装程序已经在运行\n");
        return kStartupAlreadyRunning;
    }
    if (OsVersionCode() < kMinimumOsVersion) return kStartupWindowsTooOld;

    m_strLogPath = InstallLog::DefaultPath();
    CreateFolderPath(ParentFolder(m_strLogPath));
    InstallLog::Open(m_strLogPath);

    m_pEngine = std::make_unique<InstallManager>(m_hModule, this);
    const int engineCode = m_pEngine->Init({product::kPayloadResourceType, product::kHelperResourceId},
                                           {product::kPayloadResourceType, product::kPayloadResourceId});
    if (engineCode != 0) {
        InstallLog::Format(L"init installman failed\n");
        return static_cast<StartupCode>(engineCode);
    }

    m_pUIManager = new InstallUIManager();
    m_pUIManager->Init(this);
    return kStartupOk;
}

int InstallController::Run() {
    if (!m_pUIManager) return 1;
    const int result = m_pUIManager->Run();
    StopEngine();
    ReleaseUIManager();
    return result;
}

void InstallController::StopEngine() {
    // The window may have ended while the worker was still extracting (a refused folder, a running
    // client) or between its phases: it calls this controller, the UI manager and static objects.
    if (m_pEngine) m_bEngineStopped = m_pEngine->Shutdown(kEngineStopMs);
}

void InstallController::ReleaseUIManager() {
    std::unique_ptr<InstallUIManager> released;
    {
        // The engine's worker may still report; from here on its reports are dropped.
        std::lock_guard<std::mutex> lock(m_uiManagerLock);
        released.reset(m_pUIManager);
        m_pUIManager = nullptr;
    }
    // Saves the options and stops the graphics, on the UI thread.
    released.reset();
}

void InstallController::Uninit() {
    InstallLog::Close();
    m_hMutex.Reset();
    m_hModule = nullptr;
}

void InstallController::OnError(InstallError* error) {
    std::lock_guard<std::mutex> lock(m_uiManagerLock);
    if (m_pUIManager) m_pUIManager->OnError(error);
    else delete error;
}

void InstallController::OnProgress(float fraction) {
    std::lock_guard<std::mutex> lock(m_uiManagerLock);
    if (m_pUIManager) m_pUIManager->OnProgress(fraction);
}

void InstallController::OnStep(int step) {
    std::lock_guard<std::mutex> lock(m_uiManagerLock);
    if (m_pUIManager) m_pUIManager->OnStep(step);
}
