#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/progress_callbacks.h"

namespace extract_test {

// Resource ids of the test archives embedded in this test program (type "MSI").
constexpr int kStandInPayloadId = 2019;   // the stand-in payload, as in the setup program
constexpr int kHelperId = 2031;           // MivoVistaHelper.dll
constexpr int kCrcFlipId = 3001;          // a stored file with a flipped data byte
constexpr int kNoMsvcm80Id = 3002;        // the stand-in payload without msvcm80.dll
constexpr int kMissingId = 3999;          // no such resource

// Folders of the test data on the host, seen through Wine's Z: drive.
std::wstring DataFolder();    // the archives of make_test_archives.py
std::wstring LayoutFolder();  // the stand-in layout the payload was packed from
std::wstring PayloadArchive();  // the stand-in payload archive

std::vector<std::uint8_t> ReadBytes(const std::wstring& path);
bool Exists(const std::wstring& path);

// A fresh empty folder below %TEMP%, removed with its contents when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
};

// The lines the install log received since construction (the log is opened by the test main).
class LogCapture {
public:
    LogCapture();
    std::wstring Text() const;
    bool Contains(const std::wstring& text) const { return Text().find(text) != std::wstring::npos; }
    int Count(const std::wstring& text) const;

private:
    size_t m_nStartBytes;
};

// Records progress; cancels once `cancelAfterFiles` files have been reported (never when < 0).
class RecordingCallback : public IExtractProgressCallback {
public:
    explicit RecordingCallback(int cancelAfterFiles = -1) : m_nCancelAfter(cancelAfterFiles) {}
    void OnProgress(std::uint32_t done, std::uint32_t total) override {
        m_reports.push_back({done, total});
    }
    bool IsCancelled() override {
        return m_nCancelAfter >= 0 && static_cast<int>(m_reports.size()) - 1 >= m_nCancelAfter;
    }
    struct Report {
        std::uint32_t done;
        std::uint32_t total;
    };
    std::vector<Report> m_reports;

private:
    int m_nCancelAfter;
};

// Every file below `folder`, as paths relative to it with "\" separators.
std::vector<std::wstring> ListFiles(const std::wstring& folder);

}  // namespace extract_test
