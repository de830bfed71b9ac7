#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Texts, file names and limits of the payload extraction. Log lines are written exactly as here.
namespace extract {

// Limits.
constexpr int kPayloadAttempts = 4;
constexpr DWORD kRetryWaitMs = 1000;
constexpr DWORD kCancelPollMs = 10;                 // how often a pause asks whether to cancel
constexpr std::size_t kReadBufferBytes = 4096;      // the decoder reads the archive in such pieces
constexpr DWORD kMaxWriteBytes = 0x1000000;         // 16 MiB per WriteFile
constexpr std::uint64_t kDiskLowBelowBytes = 0x5A00000;  // 90 MiB free on C:
constexpr const wchar_t kDiskLowDrive[] = L"C:\\";
constexpr std::size_t kPathChars = 260;             // MAX_PATH buffers of the folder routines
constexpr std::size_t kEntryPathChars = 256;        // target folder + "\" + entry name
constexpr int kEntryNameChars = 255;
constexpr std::size_t kCopyLogChars = 512;

// Staged layout.
constexpr const wchar_t kSysDirFolder[] = L"\\SysDir\\";
constexpr const wchar_t kStagedBinFolder[] = L"\\program files\\Corvane\\Pelora\\Bin\\";
constexpr const wchar_t kCrtAssembly[] = L"Microsoft.VC80.CRT";
constexpr const wchar_t kAtlAssembly[] = L"Microsoft.VC80.ATL";
constexpr const wchar_t* const kCrtFiles[] = {L"Microsoft.VC80.CRT.manifest", L"msvcm80.dll",
                                              L"msvcp80.dll", L"msvcr80.dll"};
constexpr const wchar_t* const kAtlFiles[] = {L"Microsoft.VC80.ATL.manifest", L"ATL80.dll"};
constexpr const wchar_t kHelperDllName[] = L"MivoVistaHelper.dll";

// Install log: ExtractPayload.
constexpr const wchar_t kLogAttemptFailed[] = L"[日志]Setup.7z解压失败,还剩%d次\r\n";
constexpr const wchar_t kLogExtractSucceeded[] = L"[日志]ExtractSetupFile 成功,time = %d\r\n";
constexpr const wchar_t kLogPayloadDone[] = L"[日志]Setup.7z解压成功 DoExtract = %d \r\n";
constexpr const wchar_t kLogPayloadFailed[] = L"[日志]Setup.7z解压真的失败了";
constexpr const wchar_t kLogPayloadCancelled[] = L"[setup]payload extraction cancelled\n";

// Install log: ExtractResource.
constexpr const wchar_t kLogPayloadResource[] = L"解压SetupFille, size:%d lpResLock:%x \r\n";
constexpr const wchar_t kLogHelperResource[] = L"解压MivoVistaHelper.dll, size:%d lpResLock:%x \r\n";
constexpr const wchar_t kLogPayloadResult[] = L"ret = %d \r\n";

// Install log: ExtractArchive.
constexpr const wchar_t kLogExtractFileError[] = L"ExtractFile时出错：#%d\r\n";
constexpr const wchar_t kLogArchiveDone[] = L"[TestLzma]:解压完成, size:%d\r\n";
constexpr const wchar_t kLogNotSupported[] =
    L"[TestLzma]:decoder doesn't support this archive, size:%d\r\n";
constexpr const wchar_t kLogOutOfMemory[] = L"[TestLzma]:can not allocate memory, size:%d\r\n";
constexpr const wchar_t kLogCrcError[] = L"[TestLzma]:CRC error, size:%d\r\n";
constexpr const wchar_t kLogOtherError[] = L"[TestLzma]:ERROR #%d, size:%d\r\n";

// Install log: ExtractAllFiles.
constexpr const wchar_t kLogSzExtractError[] = L"[ExtractFile]:SzExtract ERROR\r\n";
constexpr const wchar_t kLogEntryPath[] = L"[path] = %s \r\n";
constexpr const wchar_t kLogCreateFolderFailed[] = L"[ExtractFile]:解压时创建目录失败\r\n";
constexpr const wchar_t kLogCreateFileFailed[] = L"[ExtractFile]:创建文件失败\r\n";
constexpr const wchar_t kLogWriteFailed[] = L"[ExtractFile]:can not write output file\r\n";
constexpr const wchar_t kLogCloseFailed[] = L"[ExtractFile]:can not close output file\r\n";
constexpr const wchar_t kLogFileTimeFailed[] = L"[ExtractFile]:the file keeps the time of its extraction, error %u\r\n";
constexpr const wchar_t kLogCompleteSize[] = L"[m_nCompleteSize] = %d\r\n";
// An entry name that is unsafe or too long for its path buffer; the extraction stops here.
constexpr const wchar_t kLogUnsafeEntryName[] = L"[ExtractFile]:非法的文件名 %s\r\n";
constexpr const wchar_t kLogEntryPathTooLong[] = L"[ExtractFile]:文件路径过长 %s\r\n";

// Install log: CopyTempSysDirToTempBin.
constexpr const wchar_t kLogAboutToCopy[] =
    L"[日志] [CopyTempSysDirToTempBin] About to CopyFileW(%s, %s, FALSE)\r\n";

// Install log: ExtractHelperDll, when not even the current folder could take the helper.
constexpr const wchar_t kLogHelperFailed[] = L"ExtractVTVistaHelper 失败 \r\n";

}  // namespace extract
