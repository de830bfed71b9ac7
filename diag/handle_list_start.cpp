#include "diag/handle_list_start.h"

namespace diag {

namespace {

using InitializeListFunction = BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST, DWORD, DWORD, PSIZE_T);
using UpdateListFunction = BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST, DWORD, DWORD_PTR, PVOID, SIZE_T, PVOID,
                                         PSIZE_T);
using DeleteListFunction = VOID(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST);

// A list of one attribute takes a few dozen bytes; this is ample on 32 and 64 bits.
constexpr SIZE_T kListBytes = 256;

template <typename Function>
Function Kernel32Function(const char* name) {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name))) : nullptr;
}

}  // namespace

bool StartInheritingOnly(const wchar_t* program, wchar_t* commandLine, const STARTUPINFOW& startup,
                         HANDLE* handles, DWORD count, PROCESS_INFORMATION* started) {
    const auto initialize = Kernel32Function<InitializeListFunction>("InitializeProcThreadAttributeList");
    const auto update = Kernel32Function<UpdateListFunction>("UpdateProcThreadAttribute");
    const auto remove = Kernel32Function<DeleteListFunction>("DeleteProcThreadAttributeList");
    if (!initialize || !update || !remove) {
        STARTUPINFOW plain = startup;
        return CreateProcessW(program, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &plain, started) != 0;
    }

    alignas(16) unsigned char listBytes[kListBytes];
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBytes);
    SIZE_T size = kListBytes;
    if (!initialize(list, 1, 0, &size)) return false;
    bool ok = update(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles, count * sizeof(HANDLE), nullptr, nullptr);
    if (ok) {
        STARTUPINFOEXW extended = {};
        extended.StartupInfo = startup;
        extended.StartupInfo.cb = sizeof(extended);
        extended.lpAttributeList = list;
        ok = CreateProcessW(program, commandLine, nullptr, nullptr, TRUE, EXTENDED_STARTUPINFO_PRESENT, nullptr,
                            nullptr, &extended.StartupInfo, started) != 0;
    }
    remove(list);
    return ok;
}

}  // namespace diag
