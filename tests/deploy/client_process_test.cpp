// Finding and ending the running client by where its executable lies: real processes, started
// from copies of a small idle program under the client's and the updater's names.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "deploy/client_process.h"
#include "deploy/file_system.h"
#include "deploy/install_paths.h"
#include "deploy/previous_install_constants.h"
#include "deploy_test_support.h"
#include "diag/win_handle.h"

namespace {

std::wstring ProbePath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return JoinPath(ParentFolder(path), L"idle_probe.exe");
}

// A copy of the idle program at `path`, running until the test ends it or the object goes.
class RunningProcess {
public:
    explicit RunningProcess(const std::wstring& path) {
        CreateFolderPath(ParentFolder(path));
        if (!CopyFileW(ProbePath().c_str(), path.c_str(), FALSE)) return;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        std::wstring commandLine = L"\"" + path + L"\" 60";
        if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                            nullptr, &startup, &info))
            return;
        CloseHandle(info.hThread);
        m_process.Reset(info.hProcess);
        m_id = info.dwProcessId;
        // The module list is readable once the loader has run.
        WaitForInputIdle(m_process.Get(), 2000);
        Sleep(300);
    }
    ~RunningProcess() {
        if (IsRunning()) TerminateProcess(m_process.Get(), 0);
        if (m_process.IsValid()) WaitForSingleObject(m_process.Get(), 5000);
    }
    bool Started() const { return m_process.IsValid(); }
    DWORD Id() const { return m_id; }
    bool IsRunning() const { return m_process.IsValid() && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT; }
    bool EndedWithin(DWORD milliseconds) const {
        return WaitForSingleObject(m_process.Get(), milliseconds) == WAIT_OBJECT_0;
    }

private:
    diag::ScopedHandle m_process;
    DWORD m_id = 0;
};

class ClientProcesses : public ::testing::Test {
protected:
    ScratchFolder scratch;
    std::wstring oldFolder = scratch / L"App\\1.13.0";
    std::wstring newFolder = scratch / L"App\\1.14.301";

    ClientProcessFilter Filter() const {
        ClientProcessFilter filter;
        filter.newVersionFolder = newFolder;
        filter.oldVersionFolder = oldFolder;
        return filter;
    }
    std::unique_ptr<RunningProcess> Start(const std::wstring& path) {
        auto process = std::make_unique<RunningProcess>(path);
        EXPECT_TRUE(process->Started()) << "could not start " << std::string(path.begin(), path.end());
        return process;
    }
};

bool Contains(const std::vector<DWORD>& ids, DWORD id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); }

TEST_F(ClientProcesses, OnlyTheCopyInTheOldBinFolderIsTheClient) {
    auto client = Start(oldFolder + L"\\Bin\\Pelora.exe");
    auto stranger = Start(scratch / L"Elsewhere\\Pelora.exe");
    const ClientProcessFilter filter = Filter();

    EXPECT_TRUE(IsClientProcess(L"Pelora.exe", client->Id(), filter));
    EXPECT_FALSE(IsClientProcess(L"Pelora.exe", stranger->Id(), filter));
    std::vector<DWORD> ids = {12345};
    EXPECT_TRUE(FindClientProcesses(L"Pelora.exe", filter, ids));
    EXPECT_EQ(std::vector<DWORD>{client->Id()}, ids) << "the list starts empty and holds the client only";
    EXPECT_EQ(deploy::kClientRunning, IsClientRunning(filter));

    EXPECT_TRUE(TerminateClientProcesses(L"Pelora.exe", filter));
    EXPECT_TRUE(client->EndedWithin(5000));
    EXPECT_TRUE(stranger->IsRunning()) << "a program of the same name elsewhere is somebody else's";
    EXPECT_EQ(deploy::kNothingRunning, IsClientRunning(filter));
    EXPECT_TRUE(TerminateClientProcesses(L"Pelora.exe", filter)) << "nothing left to end is no failure";
    EXPECT_TRUE(stranger->IsRunning());
}

TEST_F(ClientProcesses, PathsAreComparedIgnoringLetterCase) {
    auto client = Start(oldFolder + L"\\Bin\\Pelora.exe");
    ClientProcessFilter filter = Filter();
    std::transform(filter.oldVersionFolder.begin(), filter.oldVersionFolder.end(), filter.oldVersionFolder.begin(),
                   towupper);
    EXPECT_TRUE(IsClientProcess(L"PELORA.EXE", client->Id(), filter));
    EXPECT_EQ(deploy::kClientRunning, IsClientRunning(filter));
}

TEST_F(ClientProcesses, TheNewVersionFolderCountsOnlyWhenAskedFor) {
    auto client = Start(newFolder + L"\\Bin\\Pelora.exe");
    ClientProcessFilter filter = Filter();
    EXPECT_FALSE(IsClientProcess(L"Pelora.exe", client->Id(), filter));
    EXPECT_EQ(deploy::kNothingRunning, IsClientRunning(filter));
    filter.matchNewFolder = true;
    EXPECT_TRUE(IsClientProcess(L"Pelora.exe", client->Id(), filter));
    EXPECT_EQ(deploy::kClientRunning, IsClientRunning(filter));
    // With neither folder there is nothing to match, not even below the owned folder.
    filter.matchNewFolder = false;
    filter.oldVersionFolder.clear();
    filter.ownedFolder = scratch.Path();
    EXPECT_FALSE(IsClientProcess(L"Pelora.exe", client->Id(), filter));
}

TEST_F(ClientProcesses, AnythingBelowTheOwnedFolderIsTheProducts) {
    auto inside = Start(scratch / L"App\\Tools\\deep\\Pelora.exe");
    auto beside = Start(scratch / L"AppData\\Pelora.exe");
    ClientProcessFilter filter = Filter();
    filter.ownedFolder = scratch / L"App";
    EXPECT_TRUE(IsClientProcess(L"Pelora.exe", inside->Id(), filter));
    EXPECT_FALSE(IsClientProcess(L"Pelora.exe", beside->Id(), filter)) << "a name that merely starts alike";
    EXPECT_TRUE(TerminateClientProcesses(L"Pelora.exe", filter));
    EXPECT_TRUE(inside->EndedWithin(5000));
    EXPECT_TRUE(beside->IsRunning());
}

TEST_F(ClientProcesses, TheUpdatersIniNamesAFurtherRoot) {
    auto client = Start(scratch / L"Updated\\2.0\\Bin\\Pelora.exe");
    ClientProcessFilter filter = Filter();
    EXPECT_FALSE(IsClientProcess(L"Pelora.exe", client->Id(), filter));
    filter.updaterIni = scratch / L"AuQuietUpdate.ini";
    const std::wstring root = scratch / L"Updated\\2.0";
    ASSERT_TRUE(WritePrivateProfileStringW(L"Current", L"strVoctoPath", root.c_str(), filter.updaterIni.c_str()));
    EXPECT_TRUE(IsClientProcess(L"Pelora.exe", client->Id(), filter));
}

TEST_F(ClientProcesses, TheUpdaterRunsWhereverItLiesUnlessTheNewFolderIsSearched) {
    auto updater = Start(scratch / L"Anywhere\\vtupd.exe");
    ClientProcessFilter filter = Filter();
    EXPECT_EQ(deploy::kUpdaterRunning, IsClientRunning(filter));
    filter.matchNewFolder = true;
    EXPECT_EQ(deploy::kNothingRunning, IsClientRunning(filter));
    std::vector<DWORD> ids;
    EXPECT_FALSE(FindClientProcesses(L"Pelora.exe", filter, ids));

    filter.matchNewFolder = false;
    ASSERT_TRUE(FindClientProcesses(L"Pelora.exe", filter, ids));
    EXPECT_TRUE(Contains(ids, updater->Id()));
    EXPECT_TRUE(TerminateClientProcesses(L"Pelora.exe", filter));
    EXPECT_TRUE(updater->EndedWithin(5000)) << "the updater is ended with the client";
}

}  // namespace
