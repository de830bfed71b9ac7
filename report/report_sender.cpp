#include "report/report_sender.h"

#include <winsock2.h>

namespace {

// Network waits are cut into slices so that a stop request is seen within this many ms.
constexpr DWORD kStopPollMs = 50;

// Shuts down and closes a socket when the exchange ends, whichever way it ends.
class SocketOwner {
public:
    explicit SocketOwner(SOCKET socket) : m_socket(socket) {}
    ~SocketOwner() {
        if (m_socket == INVALID_SOCKET) return;
        shutdown(m_socket, SD_BOTH);
        closesocket(m_socket);
    }
    SocketOwner(const SocketOwner&) = delete;
    SocketOwner& operator=(const SocketOwner&) = delete;
    SOCKET get() const { return m_socket; }
    SOCKET release() {
        const SOCKET socket = m_socket;
        m_socket = INVALID_SOCKET;
        return socket;
    }

private:
    SOCKET m_socket;
};

enum class WaitResult { kReady, kFailed, kTimedOut, kStopped };

bool StopRequested(HANDLE stopEvent) {
    return stopEvent && WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0;
}

// Waits until the socket is writable (or a pending connect finished) or readable.
WaitResult WaitForSocket(SOCKET socket, bool forWrite, DWORD limitMs, HANDLE stopEvent) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (StopRequested(stopEvent)) return WaitResult::kStopped;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= limitMs) return WaitResult::kTimedOut;
        const DWORD slice = limitMs - elapsed < kStopPollMs ? limitMs - elapsed : kStopPollMs;
        fd_set readSet, writeSet, errorSet;
        FD_ZERO(&readSet);
        FD_ZERO(&writeSet);
        FD_ZERO(&errorSet);
        FD_SET(socket, forWrite ? &writeSet : &readSet);
        FD_SET(socket, &errorSet);
        timeval timeout = {0, static_cast<long>(slice * 1000)};
        const int ready = select(0, &readSet, &writeSet, &errorSet, &timeout);
        if (ready == SOCKET_ERROR) return WaitResult::kFailed;
        if (ready == 0) continue;
        if (FD_ISSET(socket, &errorSet)) return WaitResult::kFailed;
        return WaitResult::kReady;
    }
}

// A non-blocking TCP connection to address:port, or INVALID_SOCKET.
SOCKET Connect(uint32_t address, uint16_t port, const SendLimits& limits, HANDLE stopEvent) {
    SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) return INVALID_SOCKET;
    SocketOwner owner(socket);
    u_long nonBlocking = 1;
    if (ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) return INVALID_SOCKET;
    sockaddr_in server = {};
    server.sin_family = AF_INET;
    server.sin_addr.s_addr = address;
    server.sin_port = htons(port);
    if (connect(socket, reinterpret_cast<const sockaddr*>(&server), sizeof(server)) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) return INVALID_SOCKET;
        if (WaitForSocket(socket, true, limits.connectMs, stopEvent) != WaitResult::kReady) {
            return INVALID_SOCKET;
        }
        int error = 0;
        int size = sizeof(error);
        if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0 ||
            error != 0) {
            return INVALID_SOCKET;
        }
    }
    return owner.release();
}

// Sends the whole frame; a short send would leave the server waiting for the rest.
bool SendAll(SOCKET socket, const std::vector<uint8_t>& frame, const SendLimits& limits,
             HANDLE stopEvent) {
    size_t sent = 0;
    while (sent < frame.size()) {
        if (WaitForSocket(socket, true, limits.writableMs, stopEvent) != WaitResult::kReady) {
            return false;
        }
        const int chunk = send(socket, reinterpret_cast<const char*>(frame.data() + sent),
                               static_cast<int>(frame.size() - sent), 0);
        if (chunk == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) continue;
            return false;
        }
        sent += static_cast<size_t>(chunk);
    }
    return true;
}

}  // namespace

WinsockSession::WinsockSession() {
    WSADATA data;
    m_bStarted = WSAStartup(0x0102, &data) == 0;
}

WinsockSession::~WinsockSession() {
    if (m_bStarted) WSACleanup();
}

std::vector<uint8_t> BuildFrame(const uint8_t* payload, uint32_t length) {
    std::vector<uint8_t> frame(6 + static_cast<size_t>(length));
    frame[0] = 0xF1;
    frame[1] = 0x00;
    frame[2] = static_cast<uint8_t>(length >> 24);
    frame[3] = static_cast<uint8_t>(length >> 16);
    frame[4] = static_cast<uint8_t>(length >> 8);
    frame[5] = static_cast<uint8_t>(length);
    if (length) memcpy(frame.data() + 6, payload, length);
    return frame;
}

bool IsAcknowledgement(const uint8_t* reply, int received) {
    return received == 2 && reply[0] == 0xF1;
}

bool SendFrame(const ReportEndpoint& endpoint, const uint8_t* payload, uint32_t length,
               HANDLE stopEvent, const SendLimits& limits) {
    if (!payload) return false;
    if (length == 0) return true;

    const uint32_t address =
        endpoint.resolve ? endpoint.resolve(endpoint.host) : ResolveServerAddress(endpoint.host);
    SOCKET connected = INVALID_SOCKET;
    for (const std::string& port : endpoint.ports) {
        if (StopRequested(stopEvent)) return false;
        connected = Connect(address, ResolveServerPort(port), limits, stopEvent);
        if (connected != INVALID_SOCKET) break;
    }
    if (connected == INVALID_SOCKET) return false;
    SocketOwner socket(connected);

    if (!SendAll(socket.get(), BuildFrame(payload, length), limits, stopEvent)) return false;

    if (WaitForSocket(socket.get(), false, limits.acknowledgeMs, stopEvent) != WaitResult::kReady) {
        return false;
    }
    uint8_t reply[2] = {};
    const int received = recv(socket.get(), reinterpret_cast<char*>(reply), sizeof(reply), 0);
    return IsAcknowledgement(reply, received);
}
