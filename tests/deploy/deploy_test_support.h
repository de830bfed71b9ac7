#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// A folder of its own for one test below the Windows temp folder, removed with its contents when
// the test ends.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    const std::wstring& Path() const { return m_strPath; }
    std::wstring operator/(const std::wstring& relative) const { return m_strPath + L"\\" + relative; }

private:
    std::wstring m_strPath;
};

// Removes a tree the test made, whoever it belongs to (the setup's own routine refuses folders
// that are not the product's).
void RemoveTestTree(const std::wstring& folder);

// Writes `size` bytes of a repeating pattern to `path`, creating its folders.
void WriteTestFile(const std::wstring& path, size_t size, char fill = 'x');
// Creates files "f0" to "f{count-1}" of one byte each in `folder`.
void WriteManyFiles(const std::wstring& folder, int count);
// Writes exactly `bytes` to `path`, creating its folders.
void WriteTestBytes(const std::wstring& path, const std::string& bytes);
std::string ReadTestFile(const std::wstring& path);
// Other spellings of an existing path: its 8.3 form (empty when the system gives none), and the
// text in upper case with "/" for "\".
std::wstring ShortFormOf(const std::wstring& path);
std::wstring UpperCaseWithSlashes(std::wstring path);
// The text of the install log at `logPath` (UTF-16 after its byte-order mark). The log is closed
// for the read and opened again, so that the test can go on writing to it.
std::wstring ReadInstallLogText(const std::wstring& logPath);
uint64_t SizeOfFile(const std::wstring& path);

// Deletes `path` below `hive` with everything beneath it (nothing when it is absent).
void DeleteRegistryTree(HKEY hive, const wchar_t* path);
// Type and stored byte size of a value, through RegQueryValueExW; false when it is missing.
bool QueryValueShape(HKEY hive, const wchar_t* path, const wchar_t* name, DWORD& type, DWORD& bytes);
std::wstring QueryString(HKEY hive, const wchar_t* path, const wchar_t* name);
// A REG_MULTI_SZ value with its strings joined by "|".
std::wstring QueryMultiString(HKEY hive, const wchar_t* path, const wchar_t* name);
void SetString(HKEY hive, const wchar_t* path, const wchar_t* name, const std::wstring& data);
// A REG_DWORD value; false when it is missing or of another type.
bool QueryDword(HKEY hive, const wchar_t* path, const wchar_t* name, DWORD& data);

// A running program's image, as the system holds it: the running test program copied to `path`
// and mapped as an image, so that the file may be renamed but neither written nor deleted until
// Release (or the end of the object). IsHeld() is false when the copy or the mapping failed.
class MappedProgramImage {
public:
    explicit MappedProgramImage(const std::wstring& path);
    ~MappedProgramImage() { Release(); }
    MappedProgramImage(const MappedProgramImage&) = delete;
    MappedProgramImage& operator=(const MappedProgramImage&) = delete;

    bool IsHeld() const { return m_pView != nullptr; }
    void Release();

private:
    HANDLE m_hImage = nullptr;
    void* m_pView = nullptr;
};
