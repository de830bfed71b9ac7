// The ipconfig fallback of the adapter reader starts the system's ipconfig by its full path: an
// "ipconfig.exe" planted in the program's folder or in the current folder is never run.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "diag/win_handle.h"
#include "test_files.h"

namespace {

using diag_test::Exists;
using diag_test::ScratchFolder;

constexpr wchar_t kEvidence[] = L"\\planted_ipconfig_ran";
constexpr char kPlantedAddress[] = "02BADBAD0001";

// Runs `commandLine` in `currentFolder`; the exit code, or -1 when it did not start or end.
int RunIn(const std::wstring& commandLine, const std::wstring& currentFolder) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        currentFolder.c_str(), &startup, &process)) {
        return -1;
    }
    diag::ScopedHandle thread(process.hThread), child(process.hProcess);
    if (WaitForSingleObject(child.Get(), 30000) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(child.Get(), &code);
    return static_cast<int>(code);
}

std::string ReadText(const std::wstring& path) {
    const std::vector<uint8_t> bytes = diag_test::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

class IpconfigSearchTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        ASSERT_TRUE(CreateDirectoryW(m_program.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(m_current.c_str(), nullptr));
        ASSERT_TRUE(CopyFileW((diag_test::ExecutableFolder() + L"\\mac_probe.exe").c_str(),
                              (m_program + L"\\mac_probe.exe").c_str(), FALSE));
    }
    void Plant(const std::wstring& folder) {
        ASSERT_TRUE(CopyFileW((diag_test::ExecutableFolder() + L"\\planted_ipconfig.exe").c_str(),
                              (folder + L"\\ipconfig.exe").c_str(), FALSE));
    }

    ScratchFolder m_scratch;
    const std::wstring m_program = m_scratch / L"program";
    const std::wstring m_current = m_scratch / L"current";
};

// true: planted in the program's folder (searched first), false: in the current folder.
TEST_P(IpconfigSearchTest, PlantedIpconfigIsNotRun) {
    const std::wstring planted = GetParam() ? m_program : m_current;
    Plant(planted);
    // The planted program works: started, it leaves its mark.
    ASSERT_EQ(0, RunIn(L"\"" + planted + L"\\ipconfig.exe\" /all", planted));
    ASSERT_TRUE(Exists(planted + kEvidence));
    ASSERT_TRUE(DeleteFileW((planted + kEvidence).c_str()));

    const std::wstring records = m_scratch / L"records.txt";
    EXPECT_EQ(0, RunIn(L"\"" + m_program + L"\\mac_probe.exe\" \"" + records + L"\"", m_current))
        << "the system's ipconfig was not started";
    EXPECT_FALSE(Exists(planted + kEvidence)) << "the planted ipconfig.exe ran";
    EXPECT_EQ(std::string::npos, ReadText(records).find(kPlantedAddress)) << ReadText(records);
}

INSTANTIATE_TEST_SUITE_P(ProgramAndCurrentFolder, IpconfigSearchTest, ::testing::Bool());

}  // namespace
