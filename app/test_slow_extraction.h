#pragma once

#include "common/progress_callbacks.h"

// Only in the test build of the setup (PeloraSetupCrashTest.exe): lets a test find the payload
// extraction still running at a chosen moment, as with a large payload on a slow disk. With
// PELORA_TEST_SLOW_EXTRACTION set to a number of milliseconds, every extracted file takes that much
// longer, during which its progress is passed on again and again, as fast as the thread runs: the
// worker is busy reporting whenever the rest of the setup looks. The slowing ends at once when the
// run is cancelled.
class SlowExtractionForTesting : public IExtractProgressCallback {
public:
    explicit SlowExtractionForTesting(IExtractProgressCallback* callback);

    // The callback to hand to the extraction: this one when the variable asks for slowing, else
    // the one it was made with.
    IExtractProgressCallback* Callback();

    void OnProgress(uint32_t bytesDone, uint32_t bytesTotal) override;
    bool IsCancelled() override;

private:
    IExtractProgressCallback* m_pCallback;
    unsigned long m_nDelayMs;
};
