#include "diag/hang_report.h"

#include <cwchar>

#include "diag/crash_info_block_store.h"
#include "diag/exception_names.h"
#include "diag/text_format.h"
#include "diag/hang_watchdog_constants.h"
#include "diag/win_handle.h"

namespace diag {
namespace {

// The names of the versions whose registry may lack a product name.
const wchar_t* FixedWindowsName(DWORD major, DWORD minor) {
    if (major == 5 && minor == 0) return L"Microsoft Windows 2000";
    if (major == 5 && minor == 1) return L"Microsoft Windows XP";
    if (major == 5 && minor == 2) return L"Microsoft Windows Server 2003";
    if (major == 6 && minor == 0) return L"Microsoft Windows Vista";
    if (major == 6 && minor == 1) return L"Microsoft Windows 7";
    if (major == 6 && minor == 2) return L"Microsoft Windows 8";
    if (major == 6 && minor == 3) return L"Microsoft Windows 8.1";
    if (major == 10) return L"Microsoft Windows 10";
    return L"Microsoft Windows";
}

std::wstring ExceptionDetail(const EXCEPTION_RECORD& record) {
    if (record.ExceptionCode == kHangExceptionCode) return kLogicDeadError;
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2) {
        const unsigned address = static_cast<unsigned>(record.ExceptionInformation[1]);
        return FormatText(record.ExceptionInformation[0] == 0 ? kReadAddressError : kWriteAddressError, address);
    }
    return std::wstring();
}

std::wstring CodeBytesText(const HangSnapshot& snapshot) {
    if (!snapshot.codeRead) return L"??";
    std::wstring text;
    for (uint8_t byte : snapshot.codeBytes) text += FormatText(L"%02X ", byte);
    return text;
}

std::wstring CallStackText(const HangSnapshot& snapshot, const std::vector<LoadedModule>& modules) {
#if defined(_WIN64)
    const uintptr_t instruction = snapshot.context.Rip, frame = snapshot.context.Rbp;
#else
    const uintptr_t instruction = snapshot.context.Eip, frame = snapshot.context.Ebp;
#endif
    std::wstring text;
    for (const StackFrame& entry :
         WalkCallStack(instruction, frame, snapshot.stack, modules, kMaxCallStackFrames, ReadOwnMemory)) {
        const LoadedModule* module = FindModuleOf(modules, entry.address);
        text += module != nullptr
                    ? FormatText(kFrameInModuleFormat, entry.address, entry.address - module->base, module->path.c_str())
                    : FormatText(kFrameUnknownFormat, entry.address);
        text += FormatText(kFrameArgumentsFormat, entry.arguments[0], entry.arguments[1], entry.arguments[2],
                       entry.arguments[3]);
    }
    return text;
}

std::wstring RegistersText(const CONTEXT& context) {
    auto pointer = [](uintptr_t value) { return reinterpret_cast<void*>(value); };
#if defined(_WIN64)
    return FormatText(kRegistersFormat, pointer(context.Rax), pointer(context.Rbx), pointer(context.Rcx),
                  pointer(context.Rdx), pointer(context.Rsi), pointer(context.Rdi), pointer(context.Rbp),
                  pointer(context.Rsp), pointer(context.Rip));
#else
    return FormatText(kRegistersFormat, pointer(context.Eax), pointer(context.Ebx), pointer(context.Ecx),
                  pointer(context.Edx), pointer(context.Esi), pointer(context.Edi), pointer(context.Ebp),
                  pointer(context.Esp), pointer(context.Eip));
#endif
}

std::wstring ModulesText(const std::vector<LoadedModule>& modules) {
    std::wstring text;
    for (const LoadedModule& module : modules) {
        const std::wstring version = FileVersionText(module.path) + LinkTimeText(module.base, ReadOwnMemory);
        text += FormatText(kModuleLineFormat, module.base, module.size, module.path.c_str(), version.c_str());
    }
    return text;
}

}  // namespace

bool ReadOwnMemory(uintptr_t address, void* buffer, size_t size) {
    SIZE_T read = 0;
    return ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void*>(address), buffer, size, &read) &&
           read == size;
}

std::wstring WindowsVersionText() {
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    if (rtlGetVersion != nullptr) rtlGetVersion(&info);
    std::wstring name;
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWindowsVersionKey, 0, KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS) {
        wchar_t value[256] = {};
        DWORD size = sizeof(value) - sizeof(wchar_t);
        DWORD type = 0;
        if (RegQueryValueExW(key.Get(), kWindowsProductNameValue, nullptr, &type, reinterpret_cast<BYTE*>(value),
                             &size) == ERROR_SUCCESS &&
            type == REG_SZ)
            name = value;
    }
    if (name.empty()) name = FixedWindowsName(info.dwMajorVersion, info.dwMinorVersion);
    return FormatText(kWindowsVersionFormat, name.c_str(), static_cast<int>(info.dwMajorVersion),
                  static_cast<int>(info.dwMinorVersion), static_cast<int>(info.dwBuildNumber));
}

std::wstring ComposeHangReport(const CrashInfoBlock& block, const HangSnapshot& snapshot,
                               const std::vector<LoadedModule>& modules) {
    const EXCEPTION_RECORD& record = snapshot.record;
    const wchar_t* name = ExceptionName(record.ExceptionCode);
    const std::wstring type =
        name != nullptr ? name : FormatText(L"%p", reinterpret_cast<void*>(static_cast<uintptr_t>(record.ExceptionCode)));
    const std::wstring version = FormatText(kProductVersionFormat, block.versionMajor, block.versionMinor,
                                        static_cast<unsigned long>(block.versionBuild));
    const std::wstring cpu = FormatText(kCpuTimeFormat, static_cast<unsigned long long>(snapshot.cpuPercent));
    const std::wstring header =
        FormatText(kHangReportHeader, WindowsVersionText().c_str(), CrashBlockString(block, 0), CrashBlockString(block, 1),
               version.c_str(), type.c_str(), FormatText(L"%p", record.ExceptionAddress).c_str(),
               ExceptionDetail(record).c_str(), cpu.c_str(), CodeBytesText(snapshot).c_str());
    const std::wstring threads =
        FormatText(kThreadIdsFormat, static_cast<unsigned long>(GetCurrentProcessId()),
               static_cast<unsigned long>(block.creatorThreadId), static_cast<unsigned long>(snapshot.threadId));
    return header + FormatText(kHangReportBody, CallStackText(snapshot, modules).c_str(),
                           RegistersText(snapshot.context).c_str(), threads.c_str(), ModulesText(modules).c_str());
}

}  // namespace diag
