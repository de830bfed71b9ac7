#include "deploy_test_support.h"

#include <cstring>
#include <fstream>
#include <vector>

#include "deploy/file_system.h"
#include "deploy/install_paths.h"
#include "diag/install_log.h"

ScratchFolder::ScratchFolder() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    static int counter = 0;
    wchar_t name[64] = {};
    _snwprintf(name, 63, L"deploy_test_%lu_%d", GetCurrentProcessId(), ++counter);
    m_strPath = JoinPath(temp, name);
    RemoveTestTree(m_strPath);
    CreateFolderPath(m_strPath);
}

namespace {

// A plain walk: the shell's tree deletion takes most of a minute for thousands of files under Wine.
void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (wcscmp(entry.cFileName, L".") == 0 || wcscmp(entry.cFileName, L"..") == 0) continue;
            std::wstring path = folder + L"\\" + entry.cFileName;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

ScratchFolder::~ScratchFolder() { RemoveTree(m_strPath); }

void RemoveTestTree(const std::wstring& folder) {
    std::wstring path = folder;
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    RemoveTree(path);
}

void WriteTestFile(const std::wstring& path, size_t size, char fill) {
    CreateFolderPath(ParentFolder(path));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::vector<char> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(fill + (i % 7));
    DWORD written = 0;
    if (size > 0) WriteFile(file, data.data(), static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
}

void WriteTestBytes(const std::wstring& path, const std::string& bytes) {
    CreateFolderPath(ParentFolder(path));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::wstring ShortFormOf(const std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(buffer, length);
}

std::wstring UpperCaseWithSlashes(std::wstring path) {
    if (path.empty()) return path;
    CharUpperBuffW(&path[0], static_cast<DWORD>(path.size()));
    for (wchar_t& c : path) {
        if (c == L'\\') c = L'/';
    }
    return path;
}

std::string ReadTestFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) text.append(buffer, read);
    CloseHandle(file);
    return text;
}

std::wstring ReadInstallLogText(const std::wstring& logPath) {
    InstallLog::Close();
    const std::string bytes = ReadTestFile(logPath);
    InstallLog::Open(logPath);
    if (bytes.size() < 2) return std::wstring();
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    memcpy(&text[0], bytes.data() + 2, text.size() * 2);
    return text;
}

uint64_t SizeOfFile(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void DeleteRegistryTree(HKEY hive, const wchar_t* path) { RegDeleteTreeW(hive, path); RegDeleteKeyW(hive, path); }

bool QueryValueShape(HKEY hive, const wchar_t* path, const wchar_t* name, DWORD& type, DWORD& bytes) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(hive, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    bytes = 0;
    LONG result = RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::wstring QueryString(HKEY hive, const wchar_t* path, const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(hive, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return L"<no key>";
    wchar_t buffer[1024] = {};
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? std::wstring(buffer) : L"<no value>";
}

void SetString(HKEY hive, const wchar_t* path, const wchar_t* name, const std::wstring& data) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(hive, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) return;
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

bool QueryDword(HKEY hive, const wchar_t* path, const wchar_t* name, DWORD& data) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(hive, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0;
    DWORD bytes = sizeof(data);
    const LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &bytes);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD && bytes == sizeof(data);
}

void WriteManyFiles(const std::wstring& folder, int count) {
    CreateFolderPath(folder);
    for (int i = 0; i < count; ++i) {
        wchar_t name[32] = {};
        _snwprintf(name, 31, L"\\f%d", i);
        HANDLE file = CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        DWORD written = 0;
        WriteFile(file, "x", 1, &written, nullptr);
        CloseHandle(file);
    }
}

std::wstring QueryMultiString(HKEY hive, const wchar_t* path, const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(hive, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return L"";
    DWORD bytes = 0;
    RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &bytes);
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 2, L'\0');
    RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    RegCloseKey(key);
    std::wstring joined(buffer.data(), buffer.size());
    for (wchar_t& c : joined) {
        if (c == L'\0') c = L'|';
    }
    return joined;
}

MappedProgramImage::MappedProgramImage(const std::wstring& path) {
    wchar_t self[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !CopyFileW(self, path.c_str(), FALSE)) return;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_EXECUTE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    m_hImage = CreateFileMappingW(file, nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr);
    CloseHandle(file);
    if (m_hImage != nullptr) m_pView = MapViewOfFile(m_hImage, FILE_MAP_READ, 0, 0, 0);
}

void MappedProgramImage::Release() {
    if (m_pView != nullptr) UnmapViewOfFile(m_pView);
    if (m_hImage != nullptr) CloseHandle(m_hImage);
    m_pView = nullptr;
    m_hImage = nullptr;
}
