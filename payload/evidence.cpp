#include "payload/evidence.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>

namespace standin {
namespace {

constexpr wchar_t kEvidenceFolder[] = L"CorvaneTest";
constexpr wchar_t kEvidenceExtension[] = L".log";
constexpr wchar_t kStayExtension[] = L".stay";
constexpr DWORD kStayCheckMs = 100;

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], length,
                        nullptr, nullptr);
    return utf8;
}

// %APPDATA%\CorvaneTest\<program><extension>, the folder made; empty without an application-data
// folder.
std::wstring EvidenceFile(const wchar_t* program, const wchar_t* extension) {
    wchar_t appData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData)))
        return std::wstring();
    std::wstring folder = std::wstring(appData) + L"\\" + kEvidenceFolder;
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\" + program + extension;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

void Record(const wchar_t* program, const wchar_t* key, const wchar_t* value) {
    const std::wstring path = EvidenceFile(program, kEvidenceExtension);
    if (path.empty()) return;
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string line = ToUtf8(std::wstring(key) + L"=" + value) + "\r\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

void RecordCommandLine(const wchar_t* program) {
    const wchar_t* commandLine = GetCommandLineW();
    Record(program, L"cmdline", commandLine);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    Record(program, L"exe", self);
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(commandLine, &count);
    if (arguments == nullptr) return;
    for (int i = 1; i < count; ++i)
        Record(program, (L"arg" + std::to_wstring(i)).c_str(), arguments[i]);
    LocalFree(arguments);
}

void StayWhileMarked(const wchar_t* program) {
    const std::wstring marker = EvidenceFile(program, kStayExtension);
    if (marker.empty() || !Exists(marker)) return;
    while (Exists(marker)) Sleep(kStayCheckMs);
    Record(program, L"stay", L"ended");
}

}  // namespace standin
