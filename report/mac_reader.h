#pragma once

#include <windows.h>
#include <iptypes.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One candidate network adapter.
struct AdapterRecord {
    uint8_t address[8] = {};   // hardware address in the first bytes, the rest zero
    std::string name;          // at most 256 characters
    std::string description;   // at most 128 characters
    // The adapter's first IP entry; its Next link points into the reader's adapter buffer.
    // All zero for records that do not come from the IP Helper API.
    IP_ADDR_STRING firstIp = {};
};

// Finds the address of the one network adapter that best identifies the machine.
class CMACReaderEx {
public:
    enum Method { kAnyMethod = 0, kIpHelper = 1, kNetbios = 2, kIpconfig = 3 };
    enum Options { kSkipIpPass = 1, kExcludeWireless = 2 };

    CMACReaderEx();
    virtual ~CMACReaderEx();
    CMACReaderEx(const CMACReaderEx&) = delete;
    CMACReaderEx& operator=(const CMACReaderEx&) = delete;

    // Empties the list, then fills it with the method given (0 tries the IP Helper API, then
    // "ipconfig /all", then NetBIOS). A failing method leaves the list empty.
    bool Read(int method, int options);
    const std::vector<AdapterRecord>& adapters() const { return m_adapters; }

    bool ReadByAdaptersInfo(int options);
    bool ReadByIpconfig(int options);
    bool ReadByNetbios(int options);

    // Adds the records found in the text output of "ipconfig /all" (English labels only).
    static void ParseIpconfigOutput(const std::string& output, std::vector<AdapterRecord>* list);
    // Drops virtual adapters, prefers adapters with a usable IP address, and picks one.
    static void Reduce(std::vector<AdapterRecord>* list, int options);

private:
    // The IP Helper library is loaded and released around each call; the adapter buffer stays,
    // because the records' IP entries link into it.
    std::unique_ptr<uint8_t[]> m_adapterInfo;
    std::vector<AdapterRecord> m_adapters;
};

// Loads a DLL by full path, or a bare name from the system folder, then the Windows folder; never
// from this program's folder, the current folder or the PATH.
HMODULE LoadSystemLibrary(const wchar_t* name);
