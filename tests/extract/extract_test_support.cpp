#include "extract_test_support.h"

#include <shellapi.h>

#include <algorithm>

namespace extract_test {
namespace {

std::wstring InstallLogPath() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"extract_tests_install_log.txt";
}

void ListInto(const std::wstring& folder, const std::wstring& prefix,
              std::vector<std::wstring>* files) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListInto(folder + L"\\" + name, prefix + name + L"\\", files);
        else
            files->push_back(prefix + name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

}  // namespace

std::wstring DataFolder() { return PELORA_EXTRACT_TEST_DATA; }
std::wstring LayoutFolder() { return PELORA_EXTRACT_TEST_LAYOUT; }
std::wstring PayloadArchive() { return PELORA_EXTRACT_TEST_PAYLOAD; }

std::vector<std::uint8_t> ReadBytes(const std::wstring& path) {
    std::vector<std::uint8_t> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        bytes.clear();
    CloseHandle(file);
    return bytes;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TempFolder::TempFolder() {
    static int counter = 0;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    m_path = std::wstring(temp) + L"pelora_extract_" + std::to_wstring(GetCurrentProcessId()) +
             L"_" + std::to_wstring(++counter);
    CreateDirectoryW(m_path.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    std::wstring from = m_path;
    from.push_back(L'\0');  // SHFileOperation takes a double-terminated list
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&operation);
}

LogCapture::LogCapture() : m_nStartBytes(ReadBytes(InstallLogPath()).size()) {}

std::wstring LogCapture::Text() const {
    const std::vector<std::uint8_t> bytes = ReadBytes(InstallLogPath());
    std::wstring text;
    for (size_t i = m_nStartBytes; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8)));
    return text;
}

int LogCapture::Count(const std::wstring& needle) const {
    const std::wstring text = Text();
    int count = 0;
    for (size_t at = text.find(needle); at != std::wstring::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

std::vector<std::wstring> ListFiles(const std::wstring& folder) {
    std::vector<std::wstring> files;
    ListInto(folder, L"", &files);
    std::sort(files.begin(), files.end());
    return files;
}

std::wstring TestInstallLogPath() { return InstallLogPath(); }

}  // namespace extract_test
