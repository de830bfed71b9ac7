// The crash reporter's start hands it the two handles it needs and none of the setup's others.
#include "diag/handle_list_start.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "diag/win_handle.h"
#include "test_files.h"

namespace {

class InheritedHandles : public ::testing::Test {
protected:
    void SetUp() override {
        SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
        for (int i = 0; i < 3; ++i) {
            m_names[i] = L"PeloraHandleProbe-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(i);
            m_events[i].Reset(CreateEventW(&inheritable, TRUE, FALSE, m_names[i].c_str()));
            ASSERT_TRUE(m_events[i].IsValid());
        }
    }

    // The probe's answer: bit i when it holds event i.
    DWORD RunProbe(bool onlyTheFirstTwo) {
        const std::wstring probe = diag_test::ExecutableFolder() + L"\\handle_probe.exe";
        std::wstring commandLine = L"\"" + probe + L"\"";
        for (int i = 0; i < 3; ++i) {
            wchar_t value[32];
            swprintf(value, 32, L" %llx:", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(m_events[i].Get())));
            commandLine += value + m_names[i];
        }
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started = {};
        HANDLE passed[] = {m_events[0].Get(), m_events[1].Get()};
        const bool ok = onlyTheFirstTwo
            ? diag::StartInheritingOnly(probe.c_str(), &commandLine[0], startup, passed, 2, &started)
            : CreateProcessW(probe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                             &started) != 0;
        if (!ok) return 0xFFFFFFFF;
        diag::ScopedHandle process(started.hProcess);
        diag::ScopedHandle thread(started.hThread);
        if (WaitForSingleObject(process.Get(), 30000) != WAIT_OBJECT_0) return 0xFFFFFFFE;
        DWORD code = 0xFFFFFFFD;
        GetExitCodeProcess(process.Get(), &code);
        return code;
    }

    std::wstring m_names[3];
    diag::ScopedHandle m_events[3];
};

TEST_F(InheritedHandles, TheStartedProgramHoldsOnlyTheHandlesItWasGiven) {
    // Started the plain way, the probe sees every inheritable handle: it can tell.
    EXPECT_EQ(7u, RunProbe(false));
    EXPECT_EQ(3u, RunProbe(true)) << "the third inheritable handle went along";
}

}  // namespace
