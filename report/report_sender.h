#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "report/report_endpoint.h"

// Starts Winsock (version 1.2) for the lifetime of the object.
class WinsockSession {
public:
    WinsockSession();
    ~WinsockSession();
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    bool started() const { return m_bStarted; }

private:
    bool m_bStarted = false;
};

// Time limits of one exchange. Every wait also ends when the stop event is signalled, so a
// report thread told to stop never stays blocked in the network.
struct SendLimits {
    DWORD connectMs = 20000;
    DWORD writableMs = 20000;
    DWORD acknowledgeMs = 2000;
};

// F1 00, the payload length as a big-endian u32, then the payload.
std::vector<uint8_t> BuildFrame(const uint8_t* payload, uint32_t length);

// True for a reply of two bytes whose first is F1.
bool IsAcknowledgement(const uint8_t* reply, int received);

// One complete exchange on a new connection: connect to the first port that answers, send the
// frame, and wait for the two-byte acknowledgement. A null payload fails; an empty one succeeds
// without connecting. Winsock must be started. `stopEvent` may be null.
bool SendFrame(const ReportEndpoint& endpoint, const uint8_t* payload, uint32_t length,
               HANDLE stopEvent, const SendLimits& limits);
