#include "removal_test_support.h"

#include "diag/install_log.h"

TestInstallLog::TestInstallLog() : m_path(m_scratch / L"PeloraInstall.txt") { InstallLog::Open(m_path); }

TestInstallLog::~TestInstallLog() { InstallLog::Close(); }

bool TestInstallLog::Contains(const std::wstring& text) const {
    return ReadInstallLogText(m_path).find(text) != std::wstring::npos;
}

std::string TestInstallLog::Text() const {
    const std::wstring text = ReadInstallLogText(m_path);
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? size : 0, '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), length, &utf8[0], size, nullptr, nullptr);
    return utf8;
}

bool KeyExists(HKEY hive, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(hive, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void SetMultiString(HKEY hive, const wchar_t* path, const wchar_t* name, const std::vector<std::wstring>& items) {
    std::vector<wchar_t> data;
    for (const std::wstring& item : items) {
        data.insert(data.end(), item.begin(), item.end());
        data.push_back(L'\0');
    }
    data.push_back(L'\0');
    HKEY key = nullptr;
    if (RegCreateKeyExW(hive, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) return;
    RegSetValueExW(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size() * sizeof(wchar_t)));
    RegCloseKey(key);
}
