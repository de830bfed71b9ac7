#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Real files in the test prefix: a scratch folder per test, whole-file reads and writes.
namespace diag_test {

// A new empty folder under the temporary folder, removed with its contents on destruction.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_path;
};

void RemoveTree(const std::wstring& path);
bool Exists(const std::wstring& path);
std::vector<std::uint8_t> ReadBytes(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes);
// A file of `size` bytes all equal to `fill`.
bool WriteFileOfSize(const std::wstring& path, std::uint64_t size, std::uint8_t fill);
std::uint64_t SizeOf(const std::wstring& path);
// The UTF-16LE content of a file as text (an odd last byte is ignored).
std::wstring ReadUtf16(const std::wstring& path);
// The folder of the running test executable.
std::wstring ExecutableFolder();
// Runs `commandLine`, waits at most `timeoutMs`, returns the exit code or -1.
int RunAndWait(const std::wstring& commandLine, unsigned timeoutMs);

}  // namespace diag_test
