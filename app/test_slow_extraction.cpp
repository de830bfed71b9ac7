// The test build's slow payload extraction. Never part of the shipped PeloraSetup.exe.
#include "app/test_slow_extraction.h"

#include <windows.h>

#include <cwchar>
#include <string>

#include "app/test_pause_file.h"

namespace {

constexpr wchar_t kDelayVariable[] = L"PELORA_TEST_SLOW_EXTRACTION";
constexpr unsigned long kLongestDelayMs = 60000;

unsigned long DelayOfVariable() {
    const std::wstring value = TestVariable(kDelayVariable);
    const unsigned long delay = value.empty() ? 0 : std::wcstoul(value.c_str(), nullptr, 10);
    return delay > kLongestDelayMs ? kLongestDelayMs : delay;
}

}  // namespace

SlowExtractionForTesting::SlowExtractionForTesting(IExtractProgressCallback* callback)
    : m_pCallback(callback), m_nDelayMs(callback ? DelayOfVariable() : 0) {}

IExtractProgressCallback* SlowExtractionForTesting::Callback() {
    return m_nDelayMs == 0 ? m_pCallback : this;
}

void SlowExtractionForTesting::OnProgress(uint32_t bytesDone, uint32_t bytesTotal) {
    m_pCallback->OnProgress(bytesDone, bytesTotal);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < m_nDelayMs && !m_pCallback->IsCancelled()) {
        Sleep(0);
        m_pCallback->OnProgress(bytesDone, bytesTotal);
    }
}

bool SlowExtractionForTesting::IsCancelled() {
    return m_pCallback->IsCancelled();
}
