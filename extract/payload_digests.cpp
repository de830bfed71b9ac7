#include "extract/payload_digests.h"

#include <windows.h>

#include <map>
#include <mutex>

namespace extract {

namespace {

struct Digests {
    std::mutex mutex;
    std::map<std::wstring, std::wstring> byEntry;  // chosen entries; an empty digest until extracted
};

Digests& State() {
    static Digests digests;
    return digests;
}

// One spelling per entry: "\" separators, upper case folded the way the file system folds names.
std::wstring Key(const std::wstring& entryName) {
    std::wstring key = entryName;
    for (wchar_t& c : key) {
        if (c == L'/') c = L'\\';
    }
    if (!key.empty()) CharLowerBuffW(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

}  // namespace

void KeepPayloadDigests(const std::vector<std::wstring>& entryNames) {
    Digests& state = State();
    std::lock_guard<std::mutex> guard(state.mutex);
    state.byEntry.clear();
    for (const std::wstring& name : entryNames) state.byEntry[Key(name)].clear();
}

std::wstring PayloadDigestOf(const std::wstring& entryName) {
    Digests& state = State();
    std::lock_guard<std::mutex> guard(state.mutex);
    const auto found = state.byEntry.find(Key(entryName));
    return found == state.byEntry.end() ? std::wstring() : found->second;
}

bool IsPayloadDigestWanted(const std::wstring& entryName) {
    Digests& state = State();
    std::lock_guard<std::mutex> guard(state.mutex);
    return state.byEntry.count(Key(entryName)) != 0;
}

void RecordPayloadDigest(const std::wstring& entryName, const std::wstring& digest) {
    Digests& state = State();
    std::lock_guard<std::mutex> guard(state.mutex);
    const auto found = state.byEntry.find(Key(entryName));
    if (found != state.byEntry.end()) found->second = digest;
}

}  // namespace extract
