#include "report/mac_reader.h"

#include <iphlpapi.h>
#include <nb30.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>

namespace {

typedef DWORD(WINAPI* GetAdaptersInfoFunction)(PIP_ADAPTER_INFO, PULONG);

constexpr size_t kMaxName = 256;
constexpr size_t kMaxDescription = 128;

// Releases the IP Helper library at the end of the call that loaded it.
class LibraryOwner {
public:
    explicit LibraryOwner(HMODULE module) : m_module(module) {}
    ~LibraryOwner() {
        if (m_module) FreeLibrary(m_module);
    }
    LibraryOwner(const LibraryOwner&) = delete;
    LibraryOwner& operator=(const LibraryOwner&) = delete;
    HMODULE get() const { return m_module; }

private:
    HMODULE m_module;
};

std::string LowerAscii(std::string text) {
    // Only ASCII letters: bytes of double-byte characters must stay as they are.
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool IsVirtualAdapter(const AdapterRecord& record) {
    const std::string description = LowerAscii(record.description);
    if (description.find("vmware") != std::string::npos) return true;
    if (description.find("ppp/slip") != std::string::npos) return true;
    const uint8_t* a = record.address;
    if (memcmp(a, "DEST", 4) == 0) return true;
    if (a[0] == 0 && a[1] == 'S' && a[2] == 'E') return true;
    if (std::all_of(a, a + 8, [](uint8_t b) { return b == 0; })) return true;
    const std::string leading(reinterpret_cast<const char*>(a),
                              std::find(a, a + 8, 0) - a);
    return leading.find("RAS") != std::string::npos;
}

template <typename Accept>
bool HasAddress(const AdapterRecord& record, Accept accept) {
    for (const IP_ADDR_STRING* entry = &record.firstIp; entry; entry = entry->Next) {
        if (accept(std::string(entry->IpAddress.String))) return true;
    }
    return false;
}

bool IsWirelessOrMobile(const AdapterRecord& record) {
    // "无线" and "蓝牙" as GBK bytes.
    static const char* const kWords[] = {"usb",       "wifi",         "wi-fi",
                                         "wireless",  "\xCE\xDE\xCF\xDF", "bluetooth",
                                         "\xC0\xB6\xD1\xC0", "cdma",   "ev-do",
                                         " 3g ",      "gmcc"};
    const std::string description = LowerAscii(record.description);
    for (const char* word : kWords) {
        if (description.find(word) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

HMODULE LoadSystemLibrary(const wchar_t* name) {
    if (!name || !*name) return nullptr;
    if (wcschr(name, L'\\')) return LoadLibraryW(name);
    // Not this program's own folder: it is a download folder anybody may have put a library in,
    // and the setup may run elevated.
    wchar_t folder[MAX_PATH] = {};
    std::wstring candidates[2];
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH) candidates[0] = folder;
    length = GetWindowsDirectoryW(folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH) candidates[1] = folder;
    for (const std::wstring& candidate : candidates) {
        if (candidate.empty()) continue;
        const std::wstring path = candidate + L"\\" + name;
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        if (HMODULE module = LoadLibraryW(path.c_str())) return module;
    }
    return nullptr;
}

CMACReaderEx::CMACReaderEx() = default;
CMACReaderEx::~CMACReaderEx() = default;

bool CMACReaderEx::Read(int method, int options) {
    m_adapters.clear();
    bool ok = false;
    switch (method) {
        case kAnyMethod:
            ok = ReadByAdaptersInfo(options);
            if (!ok) {
                m_adapters.clear();
                ok = ReadByIpconfig(options);
            }
            if (!ok) {
                m_adapters.clear();
                ok = ReadByNetbios(options);
            }
            break;
        case kIpHelper: ok = ReadByAdaptersInfo(options); break;
        case kNetbios: ok = ReadByNetbios(options); break;
        case kIpconfig: ok = ReadByIpconfig(options); break;
        default: break;
    }
    if (!ok) m_adapters.clear();
    return ok;
}

bool CMACReaderEx::ReadByAdaptersInfo(int options) {
    if (!m_adapterInfo) {
        LibraryOwner library(LoadSystemLibrary(L"iphlpapi.dll"));
        if (!library.get()) return false;
        auto getAdaptersInfo = reinterpret_cast<GetAdaptersInfoFunction>(
            reinterpret_cast<void*>(GetProcAddress(library.get(), "GetAdaptersInfo")));
        if (!getAdaptersInfo) return false;
        ULONG size = 0;
        if (getAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return false;
        std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size]());
        if (!buffer) return false;
        if (getAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(buffer.get()), &size) != 0) {
            return false;
        }
        m_adapterInfo = std::move(buffer);
    }
    bool added = false;
    for (auto* adapter = reinterpret_cast<const IP_ADAPTER_INFO*>(m_adapterInfo.get()); adapter;
         adapter = adapter->Next) {
        for (const IP_ADDR_STRING* ip = &adapter->IpAddressList; ip; ip = ip->Next) {
            AdapterRecord record;
            memcpy(record.address, adapter->Address,
                   std::min<size_t>(adapter->AddressLength, sizeof(record.address)));
            record.name = std::string(adapter->AdapterName).substr(0, kMaxName);
            record.description = std::string(adapter->Description).substr(0, kMaxDescription);
            record.firstIp = adapter->IpAddressList;
            m_adapters.push_back(record);
            added = true;
        }
    }
    if (added) Reduce(&m_adapters, options);
    return true;
}

bool CMACReaderEx::ReadByNetbios(int options) {
    LANA_ENUM adapters = {};
    uint8_t enumBuffer[256] = {};
    NCB command = {};
    command.ncb_command = NCBENUM;
    command.ncb_buffer = enumBuffer;
    command.ncb_length = sizeof(enumBuffer);
    if (Netbios(&command) != NRC_GOODRET) return false;
    memcpy(&adapters, enumBuffer, sizeof(adapters));

    for (UCHAR i = 0; i < adapters.length && i < MAX_LANA; ++i) {
        NCB reset = {};
        reset.ncb_command = NCBRESET;
        reset.ncb_lana_num = adapters.lana[i];
        if (Netbios(&reset) != NRC_GOODRET) continue;
        uint8_t status[600] = {};
        NCB query = {};
        query.ncb_command = NCBASTAT;
        query.ncb_lana_num = adapters.lana[i];
        query.ncb_callname[0] = '*';
        query.ncb_buffer = status;
        query.ncb_length = sizeof(status);
        if (Netbios(&query) != NRC_GOODRET) continue;
        AdapterRecord record;
        memcpy(record.address, status, 6);
        m_adapters.push_back(record);
    }
    Reduce(&m_adapters, options);
    return true;
}

void CMACReaderEx::Reduce(std::vector<AdapterRecord>* list, int options) {
    // Pass 1: virtual adapters, unless that would leave nothing.
    if (list->size() >= 2) {
        std::vector<AdapterRecord> physical;
        for (const AdapterRecord& record : *list) {
            if (!IsVirtualAdapter(record)) physical.push_back(record);
        }
        if (!physical.empty()) list->swap(physical);
    }

    // Pass 2: the best class of IP address present; each selection walks the list backwards.
    if (!(options & kSkipIpPass) && list->size() >= 2) {
        auto routable = [](const std::string& ip) {
            return ip != "127.0.0.1" && ip != "0.0.0.0" && ip.compare(0, 4, "169.") != 0;
        };
        auto notLoopback = [](const std::string& ip) { return ip != "127.0.0.1" && ip != "0.0.0.0"; };
        auto assigned = [](const std::string& ip) { return ip != "0.0.0.0"; };
        auto any = [](const std::string&) { return true; };
        const std::function<bool(const std::string&)> tiers[] = {routable, notLoopback, assigned};
        std::vector<AdapterRecord> selected;
        for (const auto& accept : tiers) {
            for (auto it = list->rbegin(); it != list->rend(); ++it) {
                if (HasAddress(*it, accept)) selected.push_back(*it);
            }
            if (!selected.empty()) break;
        }
        if (selected.empty()) {
            for (auto it = list->rbegin(); it != list->rend(); ++it) {
                if (HasAddress(*it, any)) selected.push_back(*it);
            }
        }
        list->swap(selected);
    }

    // Pass 3: the smallest address among the preferred candidates.
    if (list->size() >= 2) {
        std::vector<const AdapterRecord*> candidates;
        if (options & kExcludeWireless) {
            for (const AdapterRecord& record : *list) {
                if (!IsWirelessOrMobile(record)) candidates.push_back(&record);
            }
        }
        if (candidates.empty()) {
            for (const AdapterRecord& record : *list) candidates.push_back(&record);
        }
        const AdapterRecord* best = candidates.front();
        for (const AdapterRecord* candidate : candidates) {
            if (memcmp(candidate->address, best->address, sizeof(best->address)) < 0) best = candidate;
        }
        const AdapterRecord chosen = *best;
        list->assign(1, chosen);
    }
}
