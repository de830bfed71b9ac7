#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "deploy_test_support.h"

// The install log of one test, in a scratch folder of its own, closed when the test ends.
class TestInstallLog {
public:
    TestInstallLog();
    ~TestInstallLog();
    // Whether the log written so far holds `text`.
    bool Contains(const std::wstring& text) const;
    // The log written so far, for the message of a failed check.
    std::string Text() const;

private:
    ScratchFolder m_scratch;
    std::wstring m_path;
};

bool KeyExists(HKEY hive, const std::wstring& path);
// Writes `items` as REG_MULTI_SZ, creating the key.
void SetMultiString(HKEY hive, const wchar_t* path, const wchar_t* name, const std::vector<std::wstring>& items);
