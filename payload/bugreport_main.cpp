// The crash reporter "bugreport.exe". The crashed program starts it with
// "bugreport /buginfo:<event>:<process>:<block>:<process id> /extinfo:<extra>" and waits: the
// reporter reads the crash information block out of the frozen process, writes a readable report
// into %TEMP%\Corvane and signals the event, which tells the crashed program that the information
// has been taken. When anything fails the event stays unsignalled, so that the crashed program
// falls back to its own message box. Like the other stand-ins it records how it was started.
#include <windows.h>

#include <string>
#include <vector>

#include "diag/win_handle.h"
#include "payload/crash_block_reader.h"
#include "payload/crash_report_command.h"
#include "payload/crash_report_text.h"
#include "payload/evidence.h"
#include "payload/reporter_constants.h"

namespace {

using namespace reporter;

void RecordError(const std::wstring& what) { standin::Record(kEvidenceName, kErrorKey, what.c_str()); }

std::wstring ReportFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    std::wstring folder = length > 0 && length <= MAX_PATH ? temp : kFallbackTempFolder;
    if (folder.back() != L'\\') folder += L'\\';
    CreateDirectoryW(folder.c_str(), nullptr);
    folder += kReportFolder;
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\";
}

std::vector<ReportedModule> DescribeModules(HANDLE process, DWORD processId) {
    std::vector<ReportedModule> modules;
    for (const diag::LoadedModule& module : diag::ListProcessModules(processId)) {
        ReportedModule entry;
        entry.module = module;
        entry.version = diag::FileVersionText(module.path);
        entry.linkTime = diag::LinkTimeText(module.base, [process](uintptr_t address, void* buffer, size_t size) {
            SIZE_T read = 0;
            return ReadProcessMemory(process, reinterpret_cast<const void*>(address), buffer, size, &read) &&
                   read == size;
        });
        modules.push_back(entry);
    }
    return modules;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], length, nullptr, nullptr);
    return utf8;
}

bool WriteReport(const std::wstring& path, const std::wstring& report) {
    diag::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return false;
    const std::string bytes = ToUtf8(report);
    DWORD written = 0;
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

int Report(const CrashReportCommand& command) {
    const HANDLE process = reinterpret_cast<HANDLE>(command.process);
    CrashSnapshot snapshot;
    const BlockReadResult read = ReadCrashBlock(process, command.block, snapshot);
    if (read != BlockReadResult::kRead) {
        RecordError(DescribeBlockReadResult(read));
        return kExitBlockUnreadable;
    }
    const std::wstring folder = ReportFolder();
    const HeapWalkFiles heapWalk =
        HeapWalkFileNames(folder, snapshot.strings[diag::kCrashStringCount - 1], snapshot.header.crashTick);
    const std::wstring report = ComposeCrashReport(snapshot, command.processId,
                                                   DescribeModules(process, command.processId), heapWalk);
    wchar_t path[MAX_PATH * 2] = {};
    swprintf(path, MAX_PATH * 2, kReportFileFormat, folder.c_str(), static_cast<unsigned long>(command.processId));
    if (!WriteReport(path, report)) {
        RecordError(std::wstring(L"report not written: ") + path);
        return kExitReportNotWritten;
    }
    standin::Record(kEvidenceName, kReportKey, path);
    if (!SetEvent(reinterpret_cast<HANDLE>(command.event))) {
        RecordError(L"event not signalled: " + std::to_wstring(GetLastError()));
        return kExitEventNotSignalled;
    }
    return kExitReported;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    standin::RecordCommandLine(kEvidenceName);
    CrashReportCommand command;
    if (!ParseCrashReportCommand(GetCommandLineW(), command)) {
        RecordError(L"command line not understood");
        return kExitBadCommandLine;
    }
    // The inherited handles are this program's to close.
    const diag::ScopedHandle process(reinterpret_cast<HANDLE>(command.process));
    const diag::ScopedHandle event(reinterpret_cast<HANDLE>(command.event));
    return Report(command);
}
