// The progress page of the setup window and the ways a setup ends: finished, failed or abandoned.
#include "ui/pages/install_dialog.h"

#include "app/install_controller.h"
#include "app/install_errors.h"
#include "app/install_manager.h"
#include "common/product.h"
#include "diag/text_format.h"
#include "diag/install_log.h"
#include "ui/install_ui_manager.h"
#include "ui/pages/page_texts.h"
#include "ui/pages/progress_text.h"
#include "ui/setup_texts.h"
#include "ui/toolkit/progress_bar.h"
#include "ui/toolkit/text_button.h"

namespace ui {

namespace {

constexpr int kBarHeight = 4;
constexpr int kCreepLimitPercent = 10;

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

}  // namespace

void InstallDialog::BuildProgressPage() {
    if (!m_pProgressBar) {
        auto bar = std::make_unique<ProgressBar>();
        bar->SetGeometry(0, Height() - kBarHeight, Width(), kBarHeight);
        m_pProgressBar = AddChild(std::move(bar));
    }
    if (!m_pStatusLabel) {
        auto status = std::make_unique<TextButton>();
        status->SetTextStyle(kHalfWhite, 14);
        status->SetAlignment(TextAlignment::Near);
        status->SetText(m_strStatusText, false);
        status->SetGeometry(14, Height() - 28, 200, 14);
        m_pStatusLabel = AddChild(std::move(status));
    }
    if (!m_pPercentLabel) {
        auto percent = std::make_unique<TextButton>();
        percent->SetTextStyle(kHalfWhite, 24);
        percent->SetAlignment(TextAlignment::Far);
        percent->SetText(FormatText(kPercentFormat, 1), false);
        percent->SetGeometry(Width() - 114, Height() - 36, 100, 24);
        m_pPercentLabel = AddChild(std::move(percent));
        SetProgress(m_fProgress);
    }
}

void InstallDialog::SetProgress(float fraction) {
    m_fProgress = fraction;
    const int32_t percent = PercentOf(fraction);
    if (m_pPercentLabel) m_pPercentLabel->SetText(FormatText(kPercentFormat, percent), true);
    if (m_pProgressBar) m_pProgressBar->SetValue(percent, true);
}

void InstallDialog::CreepProgress() {
    // Until the extraction reports, the bar creeps up to 10 %.
    if (m_nStep != kStepExtracting || !m_pProgressBar || m_pProgressBar->Value() >= kCreepLimitPercent) return;
    SetProgress((m_pProgressBar->Value() + 1) / 100.0f);
}

void InstallDialog::SetStatusText(const std::wstring& text) {
    if (m_pStatusLabel) m_pStatusLabel->SetText(text, true);
    m_strStatusText = text;
}

void InstallDialog::OnStep(int32_t step) {
    m_nStep = step;
    if (StepShowsProgressPage(step)) ShowProgressPage();
    if (const wchar_t* text = StatusTextOfStep(step)) SetStatusText(text);
    if (step == kStepExtracted && m_bInstallPending) StartInstallWhenExtracted();
    if (step == kStepFinished) Finish();
}

void InstallDialog::HandleKeptReports() {
    InstallUIManager* manager = m_pController->UIManager();
    if (!manager) return;
    for (InstallUIManager::KeptReport& report : manager->TakeKeptReports()) {
        // What follows the report that ended the window is of no use any more.
        if (IsClosed()) break;
        if (report.error) HandleError(report.error.release());
        else OnStep(report.step);
    }
}

void InstallDialog::HandleError(InstallError* error) {
    std::unique_ptr<InstallError> owned(error);
    if (!owned) return;
    if (m_currentPage == PageView::Welcome) {
        m_queuedErrors.push_back(std::move(owned));
        return;
    }
    EndWithError(*owned);
}

void InstallDialog::EndWithError(const InstallError& error) {
    const ErrorText text = TextOf(error);
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
