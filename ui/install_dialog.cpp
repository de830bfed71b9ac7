#include "ui/install_dialog.h"

#include "app/install_controller.h"
#include "app/install_errors.h"
#include "app/install_manager.h"
#include "app/product.h"
#include "deploy/client_process.h"
#include "deploy/deploy_constants.h"
#include "deploy/install_folder_check.h"
#include "deploy/previous_install_constants.h"
#include "deploy/text_format.h"
#include "diag/install_log.h"
#include "ui/setup_messages.h"
#include "ui/setup_texts.h"

namespace ui {

namespace {

constexpr int kWindowWidth = 590;
constexpr int kWindowHeight = 440;
constexpr UINT_PTR kCreepTimer = 1234;
constexpr UINT kCreepPeriodMs = 100;
constexpr int kIconId = 107;

struct ErrorText {
    const wchar_t* message;
    const wchar_t* logLine;
};

// The message box text and install-log line of an engine error; null texts for unknown codes.
ErrorText TextOf(const InstallError& error) {
    switch (error.Code()) {
        case InstallError::kExtractOrDeploy: {
            const auto* extractError = dynamic_cast<const ExtractError*>(&error);
            const bool diskLow = extractError && extractError->DiskLow();
            return {diskLow ? kDiskLowText : kExtractFailedText, kExtractFailedLog};
        }
        case InstallError::kRemoveOldVersionFailed:
            return {kRemoveOldVersionFailedText, kRemoveOldVersionFailedLog};
        case InstallError::kUnknown:
            return {kUnknownErrorText, kUnknownErrorLog};
        default:
            return {nullptr, nullptr};
    }
}

// The folder above the version folder, without a trailing backslash: C:\A\B\1.14.301 shows as C:\A\B.
std::wstring FolderTextOf(std::wstring versionFolder) {
    const bool hasLastComponent =
        !versionFolder.empty() && versionFolder.back() != L'\\' && versionFolder.back() != L':';
    if (hasLastComponent) {
        const size_t slash = versionFolder.rfind(L'\\');
        versionFolder.erase(slash == std::wstring::npos ? 0 : slash + 1);
    }
    if (!versionFolder.empty() && versionFolder.back() == L'\\') versionFolder.pop_back();
    return versionFolder;
}

}  // namespace

InstallDialog::InstallDialog(InstallController* controller, bool modal)
    : DialogWrapper(modal), m_pController(controller) {}

bool InstallDialog::HiddenMode() const {
    return m_pController->Engine()->Mode() == SetupMode::NoUi;
}

void InstallDialog::OnInitDialog() {
    SetWindowPos(Window(), nullptr, 0, 0, kWindowWidth, kWindowHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW);
    if (HICON icon = LoadIconW(m_pController->ModuleInstance(), MAKEINTRESOURCEW(kIconId))) {
        SendMessageW(Window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageW(Window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    m_strInstallFolder = FolderTextOf(m_pController->Engine()->VersionFolder());
    SetTimer(Window(), kCreepTimer, kCreepPeriodMs, nullptr);
    m_pController->Engine()->StartExtract();
    const SetupMode mode = m_pController->Engine()->Mode();
    if (mode == SetupMode::Fast || mode == SetupMode::NoUi) OnInstallClicked();
}

INT_PTR InstallDialog::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            if (HiddenMode()) PostQuitMessage(0);
            return 0;
        case WM_TIMER:
            // Until the extraction reports, the bar creeps up to 10 %.
            if (wParam == kCreepTimer && m_nStep == 0 && m_currentPage == Page::Progress && m_fProgress * 100.0f < 10.0f) {
                SetProgress((static_cast<int>(m_fProgress * 100.0f + 0.5f) + 1) / 100.0f);
            }
            return 0;
        case WM_SETUP_PROGRESS: {
            std::unique_ptr<float> boxed(reinterpret_cast<float*>(wParam));
            if (boxed) SetProgress(*boxed);
            return 1;
        }
        case WM_SETUP_STEP:
            OnStep(static_cast<int32_t>(wParam));
            return 1;
        case WM_SETUP_ERROR:
            HandleError(reinterpret_cast<InstallError*>(wParam));
            return 1;
        default:
            return 0;
    }
}

void InstallDialog::SetProgress(float fraction) {
    if (fraction < 0.0f) fraction = 0.0f;
    if (fraction > 1.0f) fraction = 1.0f;
    m_fProgress = fraction;
    if (Window()) InvalidateRect(Window(), nullptr, FALSE);
}

void InstallDialog::ShowProgressPage() {
    if (m_currentPage == Page::Progress || m_currentPage == Page::Abort) return;
    m_currentPage = Page::Progress;
}

std::wstring InstallDialog::CandidateVersionFolder() const {
    return m_pController->Engine()->VersionFolder();
}

bool InstallDialog::CommitInstallFolder() {
    InstallManager* engine = m_pController->Engine();
    const uint32_t required = engine->RequiredSpace();
    std::wstring replacement;
    const int verdict = engine->SetInstallFolder(CandidateVersionFolder(), replacement);
    if (!replacement.empty()) m_strInstallFolder = replacement;
    if (verdict == kInstallFolderOk) return true;
    if (HiddenMode()) {
        DestroyNative();
        return false;
    }
    ShowFolderRefusal(verdict, required);
    // A verdict this window does not know stops nothing.
    return verdict != kInstallFolderInvalid && verdict != kInstallFolderDiskFull && verdict != kInstallFolderNoAccess;
}

bool InstallDialog::CheckProductRunning() {
    InstallManager* engine = m_pController->Engine();
    ClientProcessFilter filter;
    filter.newVersionFolder = engine->VersionFolder();
    filter.oldVersionFolder = engine->PreviousVersionFolder();
    filter.ownedFolder = m_strInstallFolder;
    if (IsClientRunning(filter) == deploy::kNothingRunning) return false;
    if (HiddenMode()) {
        InstallLog::Format(kLogClientRunningHidden);
        DestroyNative();
        return true;
    }
    const int answer =
        MessageBoxW(Window(), kClientRunningText, product::kMessageCaption, MB_ICONWARNING | MB_RETRYCANCEL);
    if (answer != IDRETRY) return true;
    // Whatever the termination gives, the install goes on; a client still running shows up as
    // files that cannot be replaced.
    TerminateClientProcesses(deploy::kClientFileName, filter);
    return false;
}

void InstallDialog::ShowFolderRefusal(int verdict, uint32_t requiredBytes) {
    switch (verdict) {
        case kInstallFolderInvalid:
            MessageBoxW(Window(), kFolderInvalidText, product::kMessageCaption, MB_ICONERROR);
            break;
        case kInstallFolderDiskFull: {
            const std::wstring text = FormatText(kFolderDiskFullFormat, requiredBytes / 1024.0 / 1024.0);
            MessageBoxW(Window(), text.c_str(), product::kMessageCaption, MB_ICONWARNING);
            break;
        }
        case kInstallFolderNoAccess:
            MessageBoxW(Window(), kFolderNoAccessText, product::kMessageCaption, MB_ICONERROR);
            break;
        default:
            break;
    }
}

void InstallDialog::OnInstallClicked() {
    // A refused folder keeps the current page: the user may choose another one and click again.
    if (!CommitInstallFolder()) return;
    // A running client keeps its files open: it is stopped (with consent) before anything is replaced.
    if (CheckProductRunning()) return;
    ShowProgressPage();
    if (!m_queuedErrors.empty()) {
        // The first queued error ends the dialog; the others are still logged, oldest first.
        while (!m_queuedErrors.empty()) {
            InstallError* error = m_queuedErrors.front().release();
            m_queuedErrors.pop_front();
            HandleError(error);
        }
        return;
    }
    StartInstallWhenExtracted();
}

void InstallDialog::StartInstallWhenExtracted() {
    if (m_bInstallStarted) return;
    // The installation deploys the staged tree, so it waits for the extraction to succeed.
    if (m_nStep >= 1) {
        m_bInstallStarted = true;
        m_bInstallPending = false;
        m_pController->Engine()->StartInstall();
    } else {
        m_bInstallPending = true;
    }
}

void InstallDialog::OnStep(int32_t step) {
    m_nStep = step;
    switch (step) {
        case 1:
            if (m_bInstallPending) StartInstallWhenExtracted();
            break;
        case 2:
        case 3:
        case 4:
            ShowProgressPage();
            break;
        case 5:
            Finish();
            break;
        default:
            break;
    }
}

void InstallDialog::HandleError(InstallError* error) {
    std::unique_ptr<InstallError> owned(error);
    if (!owned) return;
    if (m_currentPage == Page::Welcome) {
        m_queuedErrors.push_back(std::move(owned));
        return;
    }
    const ErrorText text = TextOf(*owned);
    if (text.message && !HiddenMode()) MessageBoxW(Window(), text.message, product::kMessageCaption, MB_ICONERROR);
    if (text.logLine) InstallLog::Format(L"%s", text.logLine);
    m_bInstallPending = false;
    if (HiddenMode()) DestroyNative();
    else EndModal(2);
}

void InstallDialog::Finish() {
    m_nResultCode = 0;
    if (HiddenMode()) DestroyNative();
    else EndModal(1);
}

void InstallDialog::OnAbortConfirmed() {
    EndModal(2);
    m_pController->Engine()->Abort();
}

}  // namespace ui
