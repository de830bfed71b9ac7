// The heap-walk files of a crash.
#include "diag/heap_walk_files.h"

#include <malloc.h>

#include <cwchar>

#include "diag/crash_constants.h"
#include "diag/crash_text.h"
#include "diag/win_handle.h"

namespace diag {
namespace {

constexpr size_t kLineChars = 128;

void WriteText(HANDLE file, const wchar_t* text) {
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(wcslen(text) * sizeof(wchar_t)), &written, nullptr);
}

void WriteBoth(HANDLE full, HANDLE above, const wchar_t* text) {
    WriteText(full, text);
    WriteText(above, text);
}

ScopedHandle CreateWalkFile(const wchar_t* path) {
    return ScopedHandle(
        CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

bool HeapWalkFileNames(const wchar_t* folder, const wchar_t* runningExe, uint32_t tick, wchar_t* fullPath,
                       wchar_t* abovePath, size_t capacity) {
    const wchar_t* name = wcsrchr(runningExe, L'\\');
    name = name ? name + 1 : runningExe;
    const wchar_t* dot = wcsrchr(name, L'.');
    const int nameLength = static_cast<int>(dot ? dot - name : wcslen(name));
    const bool fits = tick != 0
        ? FormatText(fullPath, capacity, L"%s%.*s%x%s", folder, nameLength, name, tick, kHeapWalkFullSuffix)
        : FormatText(fullPath, capacity, L"%s%.*s%s", folder, nameLength, name, kHeapWalkFullSuffix);
    if (!fits) return false;
    // The second file: the same path with "full.txt" replaced by "above30.txt".
    const size_t stem = wcslen(fullPath) - wcslen(L"full.txt");
    return FormatText(abovePath, capacity, L"%.*s%s", static_cast<int>(stem), fullPath, L"above30.txt");
}

HeapWalkOutcome WriteHeapWalkFiles(HANDLE heap, const wchar_t* fullPath, const wchar_t* abovePath,
                                   uint32_t limitMs) {
    ScopedHandle full = CreateWalkFile(fullPath);
    ScopedHandle above = CreateWalkFile(abovePath);
    WriteBoth(full.Get(), above.Get(), kHeapWalkHeader);

    HeapWalkOutcome outcome = HeapWalkOutcome::Complete;
    DWORD lastError = 0;
    if (!HeapValidate(heap, HEAP_NO_SERIALIZE, nullptr)) {
        outcome = HeapWalkOutcome::Corrupt;
    } else {
        const DWORD start = GetTickCount();
        PROCESS_HEAP_ENTRY entry = {};
        SetLastError(0);
        while (HeapWalk(heap, &entry)) {
            if (GetTickCount() - start > limitMs) {
                outcome = HeapWalkOutcome::Incomplete;
                break;
            }
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) && !(entry.wFlags & PROCESS_HEAP_ENTRY_MOVEABLE)) {
                if (!HeapValidate(heap, HEAP_NO_SERIALIZE, entry.lpData)) {
                    outcome = HeapWalkOutcome::Corrupt;
                    break;
                }
                continue;
            }
            wchar_t address[kPointerTextChars];
            FormatPointer(reinterpret_cast<uintptr_t>(entry.lpData), address);
            wchar_t line[kLineChars];
            FormatText(line, kLineChars, kHeapWalkEntry, address, static_cast<unsigned>(entry.cbData),
                     static_cast<unsigned>(entry.cbOverhead));
            WriteText(full.Get(), line);
            if (entry.cbData >= kHeapWalkAboveSize) WriteText(above.Get(), line);
            SetLastError(0);
        }
        lastError = GetLastError();
    }

    if (outcome == HeapWalkOutcome::Corrupt) {
        WriteBoth(full.Get(), above.Get(), kHeapWalkCorrupt);
        return outcome;
    }
    if (outcome == HeapWalkOutcome::Complete && lastError != 0 && lastError != ERROR_NO_MORE_ITEMS) {
        wchar_t line[kLineChars];
        FormatText(line, kLineChars, kHeapWalkError, static_cast<unsigned>(lastError));
        WriteBoth(full.Get(), above.Get(), line);
        outcome = HeapWalkOutcome::Incomplete;
    } else {
        WriteBoth(full.Get(), above.Get(), kHeapWalkOk);
    }
    WriteBoth(full.Get(), above.Get(), outcome == HeapWalkOutcome::Complete ? kHeapWalkComplete : kHeapWalkIncomplete);
    return outcome;
}

HANDLE RuntimeHeap() {
    const auto heap = reinterpret_cast<HANDLE>(_get_heap_handle());
    return heap ? heap : GetProcessHeap();
}

}  // namespace diag
