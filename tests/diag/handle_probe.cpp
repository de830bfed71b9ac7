// Started by the handle-list tests: for each argument "<handle in hex>:<name>", whether that handle
// value in this process is an object whose name ends with <name>, that is, a handle the starter
// let this process inherit. Exit code: bit i set for the i-th argument that is.
#include <windows.h>
#include <winternl.h>

#include <cwchar>
#include <string>

namespace {

using QueryObjectFunction = NTSTATUS(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
constexpr OBJECT_INFORMATION_CLASS kObjectNameInformation = static_cast<OBJECT_INFORMATION_CLASS>(1);

bool Names(HANDLE handle, const std::wstring& name, QueryObjectFunction query) {
    DWORD flags = 0;
    if (!GetHandleInformation(handle, &flags)) return false;
    alignas(8) unsigned char buffer[2048] = {};
    ULONG length = 0;
    if (query(handle, kObjectNameInformation, buffer, sizeof(buffer) - sizeof(wchar_t), &length) < 0) return false;
    const auto* text = reinterpret_cast<const UNICODE_STRING*>(buffer);
    const std::wstring objectName(text->Buffer ? text->Buffer : L"", text->Length / sizeof(wchar_t));
    return objectName.size() >= name.size() && objectName.compare(objectName.size() - name.size(), name.size(), name) == 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const auto query = reinterpret_cast<QueryObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    if (!query) return 255;
    int seen = 0;
    for (int i = 1; i < argc; ++i) {
        wchar_t* rest = nullptr;
        const unsigned long long value = wcstoull(argv[i], &rest, 16);
        if (!rest || *rest != L':') return 254;
        if (Names(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value)), rest + 1, query)) seen |= 1 << (i - 1);
    }
    return seen;
}
