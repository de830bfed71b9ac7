#include "report/report_endpoint.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdlib>

#include "diag/ansi_text.h"
#include "report/report_texts.h"

bool ParseEndpointOverride(const std::string& text, ReportEndpoint* endpoint) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size()) return false;
    endpoint->host = diag::AnsiToWide(text.substr(0, colon));
    endpoint->ports.assign(1, text.substr(colon + 1));
    return true;
}

ReportEndpoint DefaultReportEndpoint() {
    ReportEndpoint endpoint;
    char value[512] = {};
    const DWORD length = GetEnvironmentVariableA(report_texts::kServerOverrideVariable, value,
                                                 static_cast<DWORD>(sizeof(value)));
    if (length > 0 && length < sizeof(value) && ParseEndpointOverride(value, &endpoint)) {
        return endpoint;
    }
    endpoint.host = report_texts::kServerHost;
    endpoint.ports.assign(1, report_texts::kServerPort);
    return endpoint;
}

uint32_t ResolveServerAddress(const std::wstring& host) {
    const std::string name = diag::WideToAnsi(host);
    const unsigned long dotted = inet_addr(name.c_str());
    if (dotted != INADDR_NONE) return dotted;
    if (name == "255.255.255.255") return INADDR_NONE;
    const hostent* entry = gethostbyname(name.c_str());
    if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0]) {
        return INADDR_NONE;
    }
    uint32_t address = 0;
    memcpy(&address, entry->h_addr_list[0], sizeof(address));
    return address;
}

uint16_t ResolveServerPort(const std::string& port) {
    if (!port.empty() && port[0] >= '0' && port[0] <= '9') {
        return static_cast<uint16_t>(strtoul(port.c_str(), nullptr, 10));
    }
    const servent* service = getservbyname(port.c_str(), "tcp");
    return service ? ntohs(service->s_port) : 0;
}
