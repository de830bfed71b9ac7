// Times ExtractArchive on an archive file: extract_bench.exe ARCHIVE TARGET_FOLDER
// Prints "load_ms=<n> extract_ms=<n> result=<r>"; the exit code is the extraction result.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "diag/install_log.h"
#include "extract/payload_extractor.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: extract_bench ARCHIVE TARGET_FOLDER\n");
        return 2;
    }
    LARGE_INTEGER frequency, start, loaded, done;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 2;
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    std::vector<unsigned char> archive(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    const BOOL ok = ReadFile(file, archive.data(), static_cast<DWORD>(archive.size()), &read, nullptr);
    CloseHandle(file);
    if (!ok || read != archive.size()) return 2;
    QueryPerformanceCounter(&loaded);
    const int result = ExtractArchive(nullptr, argv[2], archive.data(), archive.size());
    QueryPerformanceCounter(&done);
    const auto ms = [&](LARGE_INTEGER from, LARGE_INTEGER to) {
        return static_cast<long long>((to.QuadPart - from.QuadPart) * 1000 / frequency.QuadPart);
    };
    std::printf("load_ms=%lld extract_ms=%lld result=%d\n", ms(start, loaded), ms(loaded, done), result);
    return result;
}
