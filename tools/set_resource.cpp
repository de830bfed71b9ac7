// Test tool: replaces (or adds) one resource of a Windows executable with the bytes of a file,
// so that tests can give a copy of the setup program another payload.
//   set_resource.exe EXE TYPE ID FILE
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

bool ReadAll(const wchar_t* path, std::vector<char>& bytes) {
    FILE* file = _wfopen(path, L"rb");
    if (!file) return false;
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    fclose(file);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        fwprintf(stderr, L"usage: set_resource EXE TYPE ID FILE\n");
        return 2;
    }
    std::vector<char> bytes;
    if (!ReadAll(argv[4], bytes)) {
        fwprintf(stderr, L"cannot read %ls\n", argv[4]);
        return 1;
    }
    HANDLE update = BeginUpdateResourceW(argv[1], FALSE);
    if (!update) {
        fwprintf(stderr, L"cannot open %ls: error %lu\n", argv[1], GetLastError());
        return 1;
    }
    const WORD id = static_cast<WORD>(_wtoi(argv[3]));
    if (!UpdateResourceW(update, argv[2], MAKEINTRESOURCEW(id), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                         bytes.data(), static_cast<DWORD>(bytes.size()))) {
        fwprintf(stderr, L"cannot update: error %lu\n", GetLastError());
        EndUpdateResourceW(update, TRUE);
        return 1;
    }
    if (!EndUpdateResourceW(update, FALSE)) {
        fwprintf(stderr, L"cannot write %ls: error %lu\n", argv[1], GetLastError());
        return 1;
    }
    return 0;
}
