#include "ui/pages/progress_text.h"

#include "app/install_manager.h"
#include "ui/pages/page_texts.h"

namespace ui {

const wchar_t* StatusTextOfStep(int32_t step) {
    switch (step) {
        case kStepExtracting: return kStatusExtracting;
        case kStepInstalling: return kStatusInstalling;
        case kStepRemovingOldVersion: return kStatusRemovingOld;
        case kStepRegistering: return kStatusRegistering;
        default: return nullptr;
    }
}

bool StepShowsProgressPage(int32_t step) {
    return step == kStepInstalling || step == kStepRemovingOldVersion || step == kStepRegistering;
}

int32_t PercentOf(float fraction) {
    return static_cast<int32_t>(fraction * 100.0f + 0.5f);
}

}  // namespace ui
