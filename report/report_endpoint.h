#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// IPv4 address in network byte order. A dotted address is used as it is; a name is resolved and
// its first address taken; "255.255.255.255" and a name that does not resolve give INADDR_NONE.
// Winsock must be started.
uint32_t ResolveServerAddress(const std::wstring& host);

// Where reports go: a host (name or dotted IPv4 address) and the ports tried in order.
struct ReportEndpoint {
    std::wstring host;
    std::vector<std::string> ports;
    // Turns the host into an address. Only the report thread calls it: a lookup may block without
    // a time limit, and only that thread may be held by it.
    std::function<uint32_t(const std::wstring& host)> resolve = &ResolveServerAddress;
};

// The configured report server, unless the environment variable PELORA_REPORT_SERVER holds
// "host:port" (a malformed value is ignored and the configured server is used). Nothing is looked
// up here.
ReportEndpoint DefaultReportEndpoint();

// Parses "host:port"; false when either part is missing.
bool ParseEndpointOverride(const std::string& text, ReportEndpoint* endpoint);

// Port in host byte order: a text starting with a digit is decimal, anything else a TCP service
// name; an unknown name gives 0. Winsock must be started.
uint16_t ResolveServerPort(const std::string& port);
