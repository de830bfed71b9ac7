#include "payload/crash_report_text.h"

#include <cwchar>
#include <vector>

#include "diag/exception_names.h"
#include "diag/heap_walk_files.h"
#include "diag/text_format.h"
#include "payload/reporter_constants.h"

namespace reporter {
namespace {

std::wstring Hex(uintptr_t value) {
    return FormatText(sizeof(uintptr_t) == 8 ? L"0x%016I64X" : L"0x%08I64X", static_cast<unsigned long long>(value));
}

std::wstring Where(uintptr_t address, const std::vector<ReportedModule>& modules) {
    for (const ReportedModule& entry : modules) {
        const diag::LoadedModule& module = entry.module;
        if (address >= module.base && address - module.base < module.size)
            return module.path + FormatText(L"+0x%I64X", static_cast<unsigned long long>(address - module.base));
    }
    return L"<unknown module>";
}

std::wstring Registers(const CONTEXT& context) {
#if defined(_WIN64)
    return FormatText(L"RAX=%016I64X RBX=%016I64X RCX=%016I64X RDX=%016I64X\r\n"
                  L"RSI=%016I64X RDI=%016I64X RBP=%016I64X RSP=%016I64X RIP=%016I64X\r\n",
                  context.Rax, context.Rbx, context.Rcx, context.Rdx, context.Rsi, context.Rdi,
                  context.Rbp, context.Rsp, context.Rip);
#else
    return FormatText(L"EAX=%08lX EBX=%08lX ECX=%08lX EDX=%08lX\r\n"
                  L"ESI=%08lX EDI=%08lX EBP=%08lX ESP=%08lX EIP=%08lX\r\n",
                  context.Eax, context.Ebx, context.Ecx, context.Edx, context.Esi, context.Edi,
                  context.Ebp, context.Esp, context.Eip);
#endif
}

// What an access violation or in-page error tried, from its two parameters.
std::wstring AccessDetail(const EXCEPTION_RECORD& record) {
    const bool hasAccess = record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION ||
                           record.ExceptionCode == EXCEPTION_IN_PAGE_ERROR;
    if (!hasAccess || record.NumberParameters < 2) return std::wstring();
    const ULONG_PTR kind = record.ExceptionInformation[0];
    const wchar_t* verb = kind == 0 ? L"Read" : (kind == 8 ? L"Execute" : L"Write");
    return FormatText(L"Access: %ls address %ls\r\n", verb, Hex(record.ExceptionInformation[1]).c_str());
}

constexpr const wchar_t* kStringNames[diag::kCrashStringCount] = {
    L"Product code", L"Display name", L"Product executable", L"Extra text", L"Running executable"};

}  // namespace

HeapWalkFiles HeapWalkFileNames(const std::wstring& folder, const std::wstring& runningExecutable,
                                uint32_t crashTick) {
    // The crashed program's own naming, so that the report names the files it wrote. A path it
    // could not hold was never written, and the report names none.
    wchar_t full[MAX_PATH + 1] = {};
    wchar_t above[MAX_PATH + 1] = {};
    HeapWalkFiles files;
    if (diag::HeapWalkFileNames(folder.c_str(), runningExecutable.c_str(), crashTick, full, above, MAX_PATH + 1)) {
        files.full = full;
        files.above30 = above;
    }
    return files;
}

std::wstring ComposeCrashReport(const CrashSnapshot& snapshot, uint32_t processId,
                                const std::vector<ReportedModule>& modules, const HeapWalkFiles& heapWalk) {
    const diag::CrashInfoBlock& block = snapshot.header;
    const EXCEPTION_RECORD& record = block.exceptionRecord;
    const uintptr_t address = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
    const wchar_t* name = diag::ExceptionName(record.ExceptionCode);

    std::wstring report = L"Crash report\r\n----------------------------------------\r\n";
    report += FormatText(L"Product: %ls %ls %d.%02d.%04lu\r\n", snapshot.strings[0].c_str(),
                     snapshot.strings[1].c_str(), block.versionMajor, block.versionMinor,
                     static_cast<unsigned long>(block.versionBuild));
    report += FormatText(L"Process: %lu\r\n", static_cast<unsigned long>(processId));
    report += FormatText(L"Exception: 0x%08lX %ls\r\n", static_cast<unsigned long>(record.ExceptionCode),
                     name != nullptr ? name : L"(unnamed)");
    if (!snapshot.thrown.empty()) report += L"Thrown: " + snapshot.thrown + L"\r\n";
    report += L"Address: " + Hex(address) + L" " + Where(address, modules) + L"\r\n";
    report += AccessDetail(record);
    report += FormatText(L"Thread: %lu (block made by thread %lu)\r\n",
                     static_cast<unsigned long>(block.crashThreadId),
                     static_cast<unsigned long>(block.creatorThreadId));
    report += FormatText(L"Crash tick: %lu\r\nUser number: %lu\r\nLanguage: %lu\r\n",
                     static_cast<unsigned long>(block.crashTick), static_cast<unsigned long>(block.userNumber),
                     static_cast<unsigned long>(block.languageId));
    if (block.savedStackBase != 0)
        report += L"Stack overflow, thread stack " + Hex(block.savedStackLimit) + L"-" +
                  Hex(block.savedStackBase) + L"\r\n";
    report += L"\r\nRegisters:\r\n" + Registers(block.context);
    report += L"\r\nStrings:\r\n";
    for (int i = 0; i < diag::kCrashStringCount; ++i)
        report += FormatText(L"%ls: ", kStringNames[i]) + snapshot.strings[i] + L"\r\n";
    report += L"\r\nHeap walk files:\r\n" + heapWalk.full + L"\r\n" + heapWalk.above30 + L"\r\n";
    report += L"\r\nModules:\r\n";
    for (const ReportedModule& entry : modules) {
        report += L"[" + Hex(entry.module.base) + FormatText(L",%06lX] ", static_cast<unsigned long>(entry.module.size)) +
                  entry.module.path + L" [" + entry.version + entry.linkTime + L"]\r\n";
    }
    report += L"----------------------------------------\r\n";
    return report;
}

}  // namespace reporter
