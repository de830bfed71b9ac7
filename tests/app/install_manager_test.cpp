#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "app/install_client.h"
#include "app/install_errors.h"
#include "app/install_manager.h"
#include "recording_steps.h"

namespace {

class RecordingClient : public IInstallClient {
public:
    std::vector<int> steps;
    std::vector<float> progress;
    std::vector<std::unique_ptr<InstallError>> errors;

    void OnError(InstallError* error) override {
        std::lock_guard<std::mutex> lock(m_lock);
        errors.emplace_back(error);
    }
    void OnProgress(float fraction) override {
        std::lock_guard<std::mutex> lock(m_lock);
        progress.push_back(fraction);
    }
    void OnStep(int step) override {
        std::lock_guard<std::mutex> lock(m_lock);
        steps.push_back(step);
    }

private:
    std::mutex m_lock;
};

const ResourceRef kHelper{L"MSI", 2031};
const ResourceRef kPayload{L"MSI", 2019};
const std::wstring kPrevious = L"C:\\Old\\Pelora\\1.13.0";
const std::wstring kVersionFolder = L"C:\\AppData\\Corvane\\Pelora\\App\\1.14.301";
const std::wstring kProductRoot = L"C:\\AppData\\Corvane\\Pelora\\App";

CommandLineOptions Options(std::vector<const wchar_t*> arguments) {
    arguments.insert(arguments.begin(), L"setup.exe");
    CommandLineOptions options;
    ParseArguments(options, static_cast<int>(arguments.size()), arguments.data());
    return options;
}

class InstallManagerTest : public ::testing::Test {
protected:
    RecordingSteps steps;
    RecordingClient client;
    std::unique_ptr<InstallManager> engine;

    int Init(std::vector<const wchar_t*> arguments = {}) {
        engine = std::make_unique<InstallManager>(nullptr, &client, steps);
        return engine->Init(kHelper, kPayload, Options(arguments));
    }
    // Runs a phase on this thread, as the worker would.
    void Run(UINT message) {
        MSG msg = {};
        msg.message = message;
        engine->OnMessage(msg);
    }
    void RunBothPhases() {
        Run(InstallManager::kMessageExtract);
        engine->StartInstall();  // the worker is not started: this only takes the start time
        Run(InstallManager::kMessageInstall);
    }
    bool Reported(uint32_t code) const { return steps.Has(L"ReportInstallerError " + std::to_wstring(code)); }
    // The client's only error, when it is an extraction or deployment error; null otherwise.
    const ExtractError* OnlyExtractError() const {
        if (client.errors.size() != 1) return nullptr;
        return dynamic_cast<const ExtractError*>(client.errors[0].get());
    }
};

TEST_F(InstallManagerTest, InitComputesFoldersAndStartsTelemetryWithChannels) {
    steps.installFolder = kPrevious;
    steps.registeredChannel = L"123";
    ASSERT_EQ(0, Init({L"/src:456", L"/uin:42"}));
    EXPECT_TRUE(steps.Has(L"ExtractHelperDll MSI 2031"));
    EXPECT_TRUE(steps.Has(L"ReportInit 456|123|456|42")) << "no machine-wide first channel: the source stands in";
    EXPECT_EQ(kVersionFolder, engine->VersionFolder());
    EXPECT_EQ(kPrevious, engine->PreviousVersionFolder());
    EXPECT_EQ(L"1.14.301", engine->VersionString());
    EXPECT_EQ(L"456", engine->InstallSource());
    EXPECT_EQ(0x4D00000u, engine->RequiredSpace());
}

TEST_F(InstallManagerTest, InitUsesDefaultSourceAndRecordedFirstChannel) {
    steps.firstChannel = L"777";
    ASSERT_EQ(0, Init());
    EXPECT_TRUE(steps.Has(L"ReportInit 777||30004|"));
    EXPECT_EQ(L"30004", engine->InstallSource());
    EXPECT_EQ(L"777", engine->FirstChannel());
}

TEST_F(InstallManagerTest, InstallDirOptionBecomesTheProductRoot) {
    ASSERT_EQ(0, Init({L"/install_dir:C:\\Apps"}));
    EXPECT_EQ(L"C:\\Apps\\1.14.301", engine->VersionFolder());
}

TEST_F(InstallManagerTest, InvalidDefaultRootLeavesTheVersionFolderEmpty) {
    steps.failing.insert(L"IsValidInstallPath");
    ASSERT_EQ(0, Init());
    EXPECT_TRUE(engine->VersionFolder().empty());
}

// The folder verdict: the engine passes its required space, takes the folder the verdict names
// and hands a fallback root back to the window.
TEST_F(InstallManagerTest, TheFolderVerdictChoosesTheVersionFolder) {
    ASSERT_EQ(0, Init());
    std::wstring replacement;
    EXPECT_EQ(0, engine->SetInstallFolder(L"D:\\Apps\\1.14.301", replacement));
    EXPECT_TRUE(steps.Has(L"SetInstallFolder D:\\Apps\\1.14.301|80740352"));
    EXPECT_EQ(L"D:\\Apps\\1.14.301", engine->VersionFolder());
    EXPECT_TRUE(replacement.empty());

    steps.folderReplacement = L"Z:\\Setup";
    EXPECT_EQ(0, engine->SetInstallFolder(L"D:\\Locked\\1.14.301", replacement));
    EXPECT_EQ(L"Z:\\Setup", replacement);
    EXPECT_EQ(L"Z:\\Setup\\1.14.301", engine->VersionFolder()) << "the fallback is where the files go";

    RunBothPhases();
    EXPECT_GE(steps.IndexOf(L"DeployFiles C:\\Staging\\Pelora~0|Z:\\Setup\\1.14.301|"), 0);
    EXPECT_TRUE(steps.Has(L"WriteProductKey HKCU Z:\\Setup\\1.14.301|30004|False|user"));
}

TEST_F(InstallManagerTest, ARefusedFolderReturnsItsVerdict) {
    ASSERT_EQ(0, Init());
    for (int verdict : {1, 2, 3}) {
        steps.folderVerdict = verdict;
        std::wstring replacement;
        EXPECT_EQ(verdict, engine->SetInstallFolder(L"T:\\Small\\1.14.301", replacement));
        EXPECT_TRUE(replacement.empty());
    }
}

// Without a version folder below a drive root the installation writes nothing at all: an empty
// or relative folder would spread the product over the current folder and its drive's root.
class UnusableVersionFolder : public InstallManagerTest, public testing::WithParamInterface<const wchar_t*> {};

TEST_P(UnusableVersionFolder, EndsTheInstallationBeforeAnythingIsWritten) {
    ASSERT_EQ(0, Init());
    engine->SetVersionFolder(GetParam());
    RunBothPhases();

    ASSERT_EQ(1u, client.errors.size());
    EXPECT_EQ(InstallError::kUnknown, client.errors[0]->Code());
    EXPECT_EQ((std::vector<int>{0, 1}), client.steps) << "no step of the installation is announced";
    for (const wchar_t* call : {L"ReportInstallerStart", L"UninstallPrevious", L"DeleteFolderTree", L"DeployFiles",
                                L"CopyPublicFileToInstallDir", L"WriteProductKey", L"WriteRunEntry"}) {
        EXPECT_EQ(-1, steps.IndexOf(call)) << testing::PrintToString(std::wstring(call));
    }
}

INSTANTIATE_TEST_SUITE_P(Folders, UnusableVersionFolder,
                         testing::Values(L"", L"1.14.301", L"Apps\\1.14.301", L"\\1.14.301", L"C:1.14.301", L"C:\\",
                                         L"\\\\server\\share\\1.14.301"));

TEST_F(InstallManagerTest, StartupCodesOfInit) {
    steps.newerVersionInstalled = true;
    EXPECT_EQ(1, Init({L"/mode:noui"}));
    EXPECT_FALSE(steps.Has(L"ExtractHelperDll MSI 2031")) << "refused before the helper is touched";

    steps.calls.clear();
    EXPECT_EQ(0, Init({L"/mode:fast"})) << "only the hidden mode refuses a newer installed version";
    EXPECT_FALSE(steps.Has(L"IsNewerVersionInstalled"));

    steps.newerVersionInstalled = false;
    steps.failing.insert(L"ExtractHelperDll");
    EXPECT_EQ(4, Init());
}

TEST(InstallOptionsRule, LaunchFlagFollowsSourceModeAndAutoStart) {
    EXPECT_EQ(0, MakeInstallOptions(SetupMode::Fast, CommandLineOptions::kAutoStartTrue, L"VT").launchAfterInstall);
    EXPECT_EQ(0, MakeInstallOptions(SetupMode::Fast, CommandLineOptions::kAutoStartNotGiven, L"Mivo").launchAfterInstall);
    EXPECT_EQ(1, MakeInstallOptions(SetupMode::Normal, CommandLineOptions::kAutoStartNotGiven, L"vt").launchAfterInstall);
    EXPECT_EQ(0, MakeInstallOptions(SetupMode::NoUi, CommandLineOptions::kAutoStartFalse, L"vt").launchAfterInstall);
    EXPECT_EQ(1, MakeInstallOptions(SetupMode::NoUi, CommandLineOptions::kAutoStartTrue, L"mivo").launchAfterInstall);
    EXPECT_EQ(1, MakeInstallOptions(SetupMode::Normal, CommandLineOptions::kAutoStartNotGiven, L"").launchAfterInstall);
    InstallOptions options = MakeInstallOptions(SetupMode::Fast, CommandLineOptions::kAutoStartFalse, L"");
    EXPECT_EQ(1, options.desktopShortcut);
    EXPECT_EQ(1, options.quickLaunchAndPin);
    EXPECT_EQ(1, options.runAtStartup);
    EXPECT_EQ(0, options.launchAfterInstall);
    EXPECT_EQ(0, options.spare);
}

TEST_F(InstallManagerTest, PhasesRunInTheirFixedOrder) {
    steps.installFolder = kPrevious;
    steps.folders = {kPrevious, kVersionFolder};
    ASSERT_EQ(0, Init());
    RunBothPhases();

    const std::vector<std::wstring> expectedOrder = {
        L"ExtractPayload MSI 2019 C:\\Staging\\Pelora~0",
        L"CopyFile C:\\Staging\\Pelora~0\\program files\\Corvane\\Pelora\\Bin\\bugreport.exe -> C:\\AppData\\Corvane\\Pelora\\AUTemp\\bugreport.exe",
        L"CopyFile C:\\Staging\\Pelora~0\\program files\\Corvane\\Pelora\\Bin\\tinyxml.dll",
        L"CopyFile C:\\Staging\\Pelora~0\\program files\\Corvane\\Pelora\\Bin\\libeay32.dll",
        L"StartCrashMonitor C:\\Staging\\Pelora~0\\program files\\Corvane\\Pelora\\Bin\\bugreport.exe|" + kPrevious,
        L"ReportInstallerStart",
        L"RemoveLeftovers",
        L"UninstallPrevious " + kPrevious + L"|C:\\Staging\\Pelora~0",
        L"DeleteFolderTree " + kVersionFolder,
        L"DeployFiles C:\\Staging\\Pelora~0|" + kVersionFolder + L"|" + kVersionFolder + L"\\PeloraInstall.xml",
        L"CopyPublicFileToInstallDir " + kVersionFolder,
        L"ResetUpdateState",
        L"CopySystemProfile C:\\Staging\\Pelora~0",
        L"RemoveOldShortcuts",
        L"CreateDesktopShortcut " + kProductRoot + L"\\PL.exe",
        L"CreateQuickLaunchShortcut " + kProductRoot + L"\\PL.exe|" + kVersionFolder + L"\\Bin\\explorer.exe",
        L"CreateStartMenuShortcuts " + kProductRoot + L"\\PL.exe|" + kProductRoot + L"\\PeloraUninst.exe",
        L"NotifyAssociationsChanged",
        L"InitializeOle",
        L"RegisterWebComponent " + kProductRoot + L"\\WebAPI.dll",
        L"UninitializeOle",
        L"LaunchSsoInstaller C:\\Staging\\Pelora~0\\program files\\Corvane\\Pelora\\Misc\\CVSSO\\InstCVSSO.exe|"
        L"C:\\Staging\\Pelora~0\\program files\\Corvane\\Pelora\\Misc\\CVSSO\\CVSSO",
        L"RegisterSharedService " + kProductRoot + L"\\VTService.dll",
        L"WriteProductKey HKCU " + kVersionFolder + L"|30004|False|user",
        L"WriteProductKey HKLM " + kVersionFolder + L"|30004|False|machine",
        L"MigrateUsersFolder " + kPrevious + L"|C:\\Staging\\Pelora~0|" + kVersionFolder,
        L"WriteProtocolInfo " + kProductRoot + L"\\PL.exe",
        L"RemoveFirewallException " + kPrevious + L"\\bin\\Pelora.exe|映彩直播",
        L"AddFirewallException " + kVersionFolder + L"\\bin\\Pelora.exe|映彩直播",
        L"DeleteVersion " + kVersionFolder,
        L"LaunchAsUser /startsrc:install|" + kProductRoot + L"\\PL.exe",
        L"WriteRunEntry \"" + kProductRoot + L"\\PL.exe\" /startsrc:boot /delaystart:1",
        L"ReportInstallerDone 0",
        L"ReportShutdown 5000",
    };
    int last = -1;
    for (const auto& expected : expectedOrder) {
        int index = steps.IndexOf(expected);
        ASSERT_GE(index, 0) << "missing: " << testing::PrintToString(expected);
        EXPECT_GT(index, last) << "out of order: " << testing::PrintToString(expected);
        last = index;
    }
    EXPECT_EQ((std::vector<int>{0, 1, 3, 2, 4, 5}), client.steps);
    EXPECT_TRUE(client.errors.empty());
    EXPECT_EQ(2, engine->State());
}

TEST_F(InstallManagerTest, ProgressMovesThroughEveryMark) {
    steps.installFolder = kPrevious;
    steps.folders = {kPrevious};
    steps.duringExtract = [](IExtractProgressCallback* callback) {
        callback->OnProgress(0, 200);
        callback->OnProgress(100, 200);
        callback->OnProgress(200, 200);
    };
    steps.duringDeploy = [](IPlProgressCallback* callback) {
        callback->OnProgress(0.0f);
        callback->OnProgress(0.5f);
        callback->OnProgress(1.0f);
    };
    ASSERT_EQ(0, Init());
    RunBothPhases();
    const std::vector<float> expected = {
        0.01f, 0.11f, 0.11f + (0.5f - 0.11f) * 0.5f, 0.5f,  // extraction
        0.5f,                                               // step 1
        0.51f,                                              // step 3
        0.61f,                                              // step 2
        0.61f, 0.61f + (0.87f - 0.61f) * 0.5f, 0.87f,       // deployment
        0.87f, 0.88f, 0.92f, 0.93f, 0.97f, 0.99f,           // registration
    };
    ASSERT_EQ(expected.size(), client.progress.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_FLOAT_EQ(expected[i], client.progress[i]) << "at " << i;
}

TEST_F(InstallManagerTest, WithoutPreviousVersionStepThreeIsNeverAnnounced) {
    steps.installFolder = kPrevious;  // registered, but no longer a folder
    ASSERT_EQ(0, Init());
    RunBothPhases();
    EXPECT_EQ((std::vector<int>{0, 1, 2, 4, 5}), client.steps);
    EXPECT_EQ(-1, steps.IndexOf(L"UninstallPrevious"));
    auto jump = std::find(client.progress.begin(), client.progress.end(), 0.5f);
    ASSERT_NE(client.progress.end(), jump);
    EXPECT_FLOAT_EQ(0.61f, *(jump + 1)) << "progress jumps from 50 % to 61 %";
}

TEST_F(InstallManagerTest, FailedExtractionReportsDiskLowAndStopsThePhase) {
    steps.extractSucceeds = false;
    steps.diskLowOnFailure = true;
    ASSERT_EQ(0, Init());
    Run(InstallManager::kMessageExtract);
    const ExtractError* error = OnlyExtractError();
    ASSERT_NE(nullptr, error) << client.errors.size() << " errors, or not an extraction error";
    EXPECT_EQ(2, error->Code());
    EXPECT_TRUE(error->DiskLow());
    EXPECT_EQ((std::vector<int>{0}), client.steps);
    EXPECT_EQ(-1, steps.IndexOf(L"CopyFile"));
    EXPECT_EQ(3, engine->State());
    EXPECT_NE(-1, steps.IndexOf(L"RemoveFailedInstall")) << "the folders of the folder check go again";

    // An installation requested after that would deploy a broken tree: it is refused, and what a
    // folder check made in the meantime goes as well.
    steps.calls.clear();
    Run(InstallManager::kMessageInstall);
    EXPECT_EQ(-1, steps.IndexOf(L"ReportInstallerStart"));
    EXPECT_EQ(-1, steps.IndexOf(L"DeployFiles"));
    EXPECT_NE(-1, steps.IndexOf(L"RemoveFailedInstall"));
}

TEST_F(InstallManagerTest, CrashMonitorNeedsAllThreeReporterFiles) {
    steps.failing.insert(L"CopyFile");
    ASSERT_EQ(0, Init());
    Run(InstallManager::kMessageExtract);
    EXPECT_EQ(-1, steps.IndexOf(L"StartCrashMonitor"));
    EXPECT_EQ((std::vector<int>{0, 1}), client.steps) << "the extraction still succeeds";
}

TEST_F(InstallManagerTest, FailedDeploymentNamesTheFileAndEndsThePhase) {
    steps.failing.insert(L"DeployFiles");
    ASSERT_EQ(0, Init());
    RunBothPhases();
    const ExtractError* error = OnlyExtractError();
    ASSERT_NE(nullptr, error) << client.errors.size() << " errors, or not an extraction error";
    EXPECT_EQ(steps.failedFile, error->Message());
    EXPECT_FALSE(error->DiskLow());
    EXPECT_EQ(-1, steps.IndexOf(L"CopyPublicFileToInstallDir"));
    EXPECT_EQ(-1, steps.IndexOf(L"ReportInstallerDone"));
    EXPECT_GT(steps.IndexOf(L"RemoveFailedInstall"), steps.IndexOf(L"DeployFiles")) << "what it wrote is taken back";
    EXPECT_EQ((std::vector<int>{0, 1, 2}), client.steps);
}

TEST_F(InstallManagerTest, PublicFileThatCannotBeWrittenEndsTheInstallBeforeAnythingIsRegistered) {
    steps.failing.insert(L"CopyPublicFileToInstallDir");
    ASSERT_EQ(0, Init());
    RunBothPhases();
    const ExtractError* error = OnlyExtractError();
    ASSERT_NE(nullptr, error) << client.errors.size() << " errors, or not an extraction error";
    EXPECT_EQ(steps.publicFailedFile, error->Message());
    EXPECT_GT(steps.IndexOf(L"RemoveFailedInstall"), steps.IndexOf(L"CopyPublicFileToInstallDir"));
    for (const wchar_t* call : {L"CreateDesktopShortcut", L"CreateStartMenuShortcuts", L"RegisterSharedService",
                                L"WriteProductKey", L"WriteRunEntry", L"LaunchAsUser", L"ReportInstallerDone"}) {
        EXPECT_EQ(-1, steps.IndexOf(call)) << testing::PrintToString(std::wstring(call));
    }
}

TEST_F(InstallManagerTest, SingleStepFailuresAreReportedWithTheirCodes) {
    steps.failing = {L"RemoveOldShortcuts", L"CreateDesktopShortcut", L"CreateQuickLaunchShortcut",
                     L"CreateStartMenuShortcuts", L"WriteProductKey HKLM", L"MigrateUsersFolder", L"WriteProtocolInfo",
                     L"WriteProductKey HKCU", L"RegisterWebComponent", L"RegisterSharedService", L"LaunchAsUser",
                     L"WriteRunEntry", L"CopySystemProfile", L"ResetUpdateState"};
    ASSERT_EQ(0, Init());
    RunBothPhases();
    std::vector<std::wstring> reported;
    for (const auto& call : steps.calls) {
        if (call.rfind(L"ReportInstallerError ", 0) == 0) reported.push_back(call.substr(21));
    }
    EXPECT_EQ((std::vector<std::wstring>{L"2001", L"2002", L"2004", L"2004", L"3001", L"4001", L"5001"}), reported);
    EXPECT_EQ(5, client.steps.back()) << "none of them stops the run";
    EXPECT_EQ(-1, steps.IndexOf(L"RemoveFailedInstall")) << "nothing is taken back from a finished install";
    EXPECT_EQ(2, std::count(steps.calls.begin(), steps.calls.end(),
                            L"RegisterWebComponent " + kProductRoot + L"\\WebAPI.dll"))
        << "the web component is tried twice";
}

TEST_F(InstallManagerTest, FailedRemovalStepsAreReportedInOrderAndTheInstallGoesOn) {
    steps.installFolder = kPrevious;
    steps.folders = {kPrevious};
    steps.uninstallFailures = {1003, 1005};
    ASSERT_EQ(0, Init());
    RunBothPhases();
    const int stopped = steps.IndexOf(L"ReportInstallerError 1003");
    const int rootLeft = steps.IndexOf(L"ReportInstallerError 1005");
    ASSERT_GE(stopped, 0);
    EXPECT_GT(rootLeft, stopped);
    EXPECT_GT(stopped, steps.IndexOf(L"UninstallPrevious"));
    EXPECT_LT(rootLeft, steps.IndexOf(L"DeployFiles")) << "reported before the new files are copied";
    EXPECT_EQ(5, client.steps.back()) << "a failed removal step does not stop the run";
}

TEST_F(InstallManagerTest, OptionalStepsFollowTheOptionsAndTheSystem) {
    steps.osCode = 0x501;
    steps.osMajor = 5;
    ASSERT_EQ(0, Init({L"/auto_start:false"}));
    engine->SetQuickLaunch(false);
    RunBothPhases();
    EXPECT_EQ(-1, steps.IndexOf(L"CreateQuickLaunchShortcut"));
    EXPECT_EQ(-1, steps.IndexOf(L"RegisterSharedService")) << "no shared service before Vista";
    EXPECT_EQ(-1, steps.IndexOf(L"LaunchAsUser"));
    EXPECT_EQ(-1, steps.IndexOf(L"DeleteFolderTree " + kVersionFolder));
}

TEST_F(InstallManagerTest, BelowVistaOnlyTheOldBinFolderIsCleared) {
    steps.osMajor = 5;
    steps.folders = {kVersionFolder, kVersionFolder + L"\\Bin"};
    ASSERT_EQ(0, Init());
    RunBothPhases();
    EXPECT_GE(steps.IndexOf(L"DeleteFolderTree " + kVersionFolder + L"\\Bin"), 0);
    EXPECT_FALSE(steps.Has(L"DeleteFolderTree " + kVersionFolder));
}

TEST_F(InstallManagerTest, AVersionFolderHoldingSomebodysFilesIsNeitherClearedNorInstalledInto) {
    steps.folders = {kVersionFolder, kVersionFolder + L"\\Bin"};
    steps.othersFolders = steps.folders;
    steps.foreignFolders = {kVersionFolder};
    ASSERT_EQ(0, Init());
    RunBothPhases();
    EXPECT_EQ(-1, steps.IndexOf(L"DeleteFolderTree"));
    EXPECT_EQ(-1, steps.IndexOf(L"DeployFiles"));
    EXPECT_EQ(-1, steps.IndexOf(L"ReportInstallerDone"));
    const ExtractError* error = OnlyExtractError();
    ASSERT_NE(nullptr, error) << client.errors.size() << " errors, or not an extraction error";
    EXPECT_EQ(kVersionFolder, error->Message());
    EXPECT_EQ((std::vector<int>{0, 1, 2}), client.steps);
}

TEST_F(InstallManagerTest, AnEmptyFolderOfSomebodyElseIsInstalledIntoButNeverDeleted) {
    steps.osMajor = 5;
    steps.folders = {kVersionFolder, kVersionFolder + L"\\Bin"};
    steps.othersFolders = steps.folders;
    ASSERT_EQ(0, Init());
    RunBothPhases();
    EXPECT_EQ(-1, steps.IndexOf(L"DeleteFolderTree"));
    EXPECT_GE(steps.IndexOf(L"DeployFiles"), 0);
    EXPECT_TRUE(client.errors.empty());
}

TEST_F(InstallManagerTest, StartArgumentsAlwaysLaunchTheClient) {
    ASSERT_EQ(0, Init({L"/auto_start:false", L"/startargs:/room:5"}));
    RunBothPhases();
    EXPECT_TRUE(steps.Has(L"LaunchAsUser /startsrc:install /room:5|" + kProductRoot + L"\\PL.exe"));
}

TEST_F(InstallManagerTest, SingleSignOnCopyFollowsTwoFailedLaunches) {
    steps.ssoFailures = 2;
    ASSERT_EQ(0, Init());
    RunBothPhases();
    EXPECT_EQ(3, std::count_if(steps.calls.begin(), steps.calls.end(),
                               [](const std::wstring& call) { return call.rfind(L"LaunchSsoInstaller", 0) == 0; }));
    EXPECT_EQ(2, std::count(steps.calls.begin(), steps.calls.end(), L"Sleep 500"));
    EXPECT_TRUE(steps.Has(L"CopyFolderTree C:\\Staging\\Pelora~0\\CVSSO\\CVSSO -> " + kVersionFolder +
                          L"\\Misc\\CVSSO\\CVSSO 5000"))
        << "the third launch succeeded, the tree is copied all the same";
}

TEST_F(InstallManagerTest, OneFailedSingleSignOnLaunchNeedsNoCopy) {
    steps.ssoFailures = 1;
    ASSERT_EQ(0, Init());
    RunBothPhases();
    EXPECT_EQ(-1, steps.IndexOf(L"CopyFolderTree"));
}

TEST_F(InstallManagerTest, DoneCarriesTheElapsedSeconds) {
    ASSERT_EQ(0, Init());
    Run(InstallManager::kMessageExtract);
    steps.now = 5000;
    engine->StartInstall();
    steps.now = 5042;
    Run(InstallManager::kMessageInstall);
    EXPECT_TRUE(steps.Has(L"ReportInstallerDone 42"));
    EXPECT_LT(steps.IndexOf(L"ReportInstallerDone"), steps.IndexOf(L"ReportShutdown 5000"));
}

// The worker thread for real: an abort during the extraction reports at once, ends the extraction
// after its current file and the phase with it (no crash monitor, no step), and handles no further
// message.
TEST_F(InstallManagerTest, AbortDuringExtractionStopsTheWorker) {
    HANDLE extracting = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE aborted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool cancelledSeen = false;
    steps.duringExtract = [&](IExtractProgressCallback* callback) {
        SetEvent(extracting);
        WaitForSingleObject(aborted, 5000);
        cancelledSeen = callback->IsCancelled();
    };
    ASSERT_EQ(0, Init());
    engine->StartExtract();
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(extracting, 5000));
    engine->StartInstall();
    engine->Abort();
    SetEvent(aborted);
    // Wait for the worker to leave its loop.
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, engine->ThreadId());
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
    CloseHandle(thread);
    CloseHandle(extracting);
    CloseHandle(aborted);

    EXPECT_TRUE(cancelledSeen);
    EXPECT_GE(steps.IndexOf(L"ReportInstallerAbort"), 0);
    EXPECT_LT(steps.IndexOf(L"ReportInstallerAbort"), steps.IndexOf(L"ReportShutdown 1000"));
    EXPECT_EQ((std::vector<int>{0}), client.steps) << "nobody waits for the rest of the phase";
    EXPECT_EQ(-1, steps.IndexOf(L"StartCrashMonitor"));
    EXPECT_GE(steps.IndexOf(L"RemoveFailedInstall"), 0) << "nothing will be installed";
    EXPECT_EQ(-1, steps.IndexOf(L"ReportInstallerStart")) << "the queued installation never runs";
}

}  // namespace
