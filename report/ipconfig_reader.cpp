// CMACReaderEx's fallback: the adapters as "ipconfig /all" prints them.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "diag/win_handle.h"
#include "report/mac_reader.h"

namespace {

constexpr size_t kMaxDescription = 128;
constexpr DWORD kReadChunk = 1024;
// ipconfig answers in well under a second; a child that keeps the pipe open longer is left.
constexpr DWORD kOutputLimitMs = 10000;

std::string NormaliseLineEnds(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            result += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\n') {
            // CR LF: the LF follows on the next turn.
        } else if (i + 1 < text.size()) {
            result += '\n';
        }
    }
    return result;
}

// The label of a line: the text before its first colon, when that colon is not at position 0.
bool SplitLabel(const std::string& line, std::string* label, std::string* rest) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    *label = line.substr(0, colon);
    *rest = line.substr(colon + 1);
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHexByte(const std::string& text, size_t at, uint8_t* value) {
    if (at + 2 > text.size()) return false;
    const int high = HexDigit(text[at]);
    const int low = HexDigit(text[at + 1]);
    if (high < 0 || low < 0) return false;
    *value = static_cast<uint8_t>(high * 16 + low);
    return true;
}

// "XX-XX-XX-XX-XX-XX": the two characters before the first dash and after each of five dashes.
bool ParsePhysicalAddress(const std::string& text, uint8_t* address) {
    size_t dashes[5];
    size_t from = 0;
    for (size_t& dash : dashes) {
        dash = text.find('-', from);
        if (dash == std::string::npos) return false;
        from = dash + 1;
    }
    if (dashes[0] < 2 || !ParseHexByte(text, dashes[0] - 2, &address[0])) return false;
    for (int i = 0; i < 5; ++i) {
        if (!ParseHexByte(text, dashes[i] + 1, &address[i + 1])) return false;
    }
    return true;
}

// "<system folder>\ipconfig.exe". Started by its full path: a bare name would be searched for in
// this program's folder and the current folder first, where anybody may have put an ipconfig.exe.
std::wstring SystemIpconfigPath() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::wstring();
    return std::wstring(folder, length) + L"\\ipconfig.exe";
}

}  // namespace

void CMACReaderEx::ParseIpconfigOutput(const std::string& output, std::vector<AdapterRecord>* list) {
    const std::string text = NormaliseLineEnds(output);
    bool pending = false;
    std::string description;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        // The line keeps its line end, as the description after the colon does.
        const std::string line = text.substr(start, end == std::string::npos ? std::string::npos
                                                                              : end - start + 1);
        start = end == std::string::npos ? text.size() : end + 1;
        std::string label, rest;
        if (!SplitLabel(line, &label, &rest)) continue;
        if (!pending) {
            if (label.find("Description") != std::string::npos) {
                description = rest;
                pending = true;
            }
        } else if (label.find("Physical Address") != std::string::npos) {
            AdapterRecord record;
            pending = false;
            if (!ParsePhysicalAddress(rest, record.address)) continue;
            record.description = description.substr(0, kMaxDescription);
            list->push_back(record);
        }
    }
}

bool CMACReaderEx::ReadByIpconfig(int options) {
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE outputRead = nullptr, outputWrite = nullptr, inputRead = nullptr, inputWrite = nullptr;
    if (!CreatePipe(&outputRead, &outputWrite, &inheritable, 0)) return false;
    diag::ScopedHandle childOutput(outputWrite), inheritedOutputRead(outputRead);
    if (!CreatePipe(&inputRead, &inputWrite, &inheritable, 0)) return false;
    diag::ScopedHandle childInput(inputRead), inheritedInputWrite(inputWrite);

    // The child must not inherit the ends this program keeps, or the output never ends.
    HANDLE ownRead = nullptr, ownWrite = nullptr;
    const HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, outputRead, self, &ownRead, 0, FALSE, DUPLICATE_SAME_ACCESS)) return false;
    diag::ScopedHandle outputReader(ownRead);
    if (!DuplicateHandle(self, inputWrite, self, &ownWrite, 0, FALSE, DUPLICATE_SAME_ACCESS)) return false;
    diag::ScopedHandle inputWriter(ownWrite);
    inheritedOutputRead.Reset();
    inheritedInputWrite.Reset();

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdOutput = childOutput.Get();
    startup.hStdError = childOutput.Get();
    startup.hStdInput = childInput.Get();
    const std::wstring program = SystemIpconfigPath();
    if (program.empty()) return false;
    wchar_t commandLine[] = L"ipconfig /all";
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), commandLine, nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Only the child holds the write end now, so the pipe breaks when it exits.
    childOutput.Reset();
    childInput.Reset();

    std::string output;
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(outputReader.Get(), nullptr, 0, nullptr, &available, nullptr)) break;
        if (available == 0) {
            if (GetTickCount() - start > kOutputLimitMs) break;
            Sleep(10);
            continue;
        }
        char chunk[kReadChunk];
        DWORD read = 0;
        if (!ReadFile(outputReader.Get(), chunk, kReadChunk, &read, nullptr) || read == 0) break;
        output.append(chunk, read);
    }

    ParseIpconfigOutput(output, &m_adapters);
    Reduce(&m_adapters, options);
    return true;
}
