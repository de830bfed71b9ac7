#include "fake_report_server.h"

#include <chrono>

namespace {

// Receives exactly `size` bytes, waiting at most `timeoutMs` in all.
bool ReceiveAll(SOCKET socket, uint8_t* data, size_t size, unsigned timeoutMs) {
    const DWORD start = GetTickCount();
    size_t done = 0;
    while (done < size) {
        if (GetTickCount() - start > timeoutMs) return false;
        fd_set readSet;
        FD_ZERO(&readSet);
        FD_SET(socket, &readSet);
        timeval timeout = {0, 50 * 1000};
        if (select(0, &readSet, nullptr, nullptr, &timeout) <= 0) continue;
        const int got = recv(socket, reinterpret_cast<char*>(data + done), static_cast<int>(size - done), 0);
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

}  // namespace

FakeReportServer::FakeReportServer(Reply reply) : m_reply(reply) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    listen(m_listener, 16);
    int size = sizeof(address);
    getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

FakeReportServer::~FakeReportServer() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_thread.join();
    StopListening();
    for (SOCKET socket : m_heldOpen) closesocket(socket);
    WSACleanup();
}

void FakeReportServer::SetReply(Reply reply, unsigned delayMs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reply = reply;
    m_delayMs = delayMs;
}

void FakeReportServer::StopListening() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_listener != INVALID_SOCKET) closesocket(m_listener);
    m_listener = INVALID_SOCKET;
}

bool FakeReportServer::WaitForFrames(size_t count, unsigned timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_frames.size() >= count; });
}

std::vector<std::vector<uint8_t>> FakeReportServer::frames() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames;
}

std::vector<pelora_data_report::ReportData> FakeReportServer::messages() {
    std::vector<pelora_data_report::ReportData> result;
    for (const auto& frame : frames()) {
        pelora_data_report::ReportData message;
        if (frame.size() >= 6 && message.ParseFromArray(frame.data() + 6, static_cast<int>(frame.size() - 6))) {
            result.push_back(message);
        }
    }
    return result;
}

size_t FakeReportServer::connections() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections;
}

void FakeReportServer::Serve() {
    for (;;) {
        SOCKET listener;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop) return;
            listener = m_listener;
        }
        if (listener == INVALID_SOCKET) {
            Sleep(20);
            continue;
        }
        fd_set readSet;
        FD_ZERO(&readSet);
        FD_SET(listener, &readSet);
        timeval timeout = {0, 50 * 1000};
        if (select(0, &readSet, nullptr, nullptr, &timeout) <= 0) continue;
        SOCKET client = accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        Handle(client);
    }
}

void FakeReportServer::Handle(SOCKET client) {
    Reply reply;
    unsigned delayMs;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_connections;
        reply = m_reply;
        delayMs = m_delayMs;
    }
    if (reply == Reply::kCloseAtOnce) {
        closesocket(client);
        return;
    }
    uint8_t header[6];
    std::vector<uint8_t> frame;
    if (ReceiveAll(client, header, sizeof(header), 3000)) {
        const uint32_t length = (uint32_t(header[2]) << 24) | (uint32_t(header[3]) << 16) |
                                (uint32_t(header[4]) << 8) | header[5];
        frame.assign(header, header + 6);
        frame.resize(6 + length);
        if (length && !ReceiveAll(client, frame.data() + 6, length, 3000)) frame.clear();
    }
    if (!frame.empty()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_frames.push_back(frame);
        m_arrived.notify_all();
    }
    const char acknowledge[2] = {'\xF1', '\x00'};
    const char wrong[2] = {'\xF2', '\x00'};
    switch (reply) {
        case Reply::kAcknowledge: send(client, acknowledge, 2, 0); break;
        case Reply::kOneByte: send(client, acknowledge, 1, 0); break;
        case Reply::kWrongFirstByte: send(client, wrong, 2, 0); break;
        case Reply::kDelayed:
            Sleep(delayMs);
            send(client, acknowledge, 2, 0);
            break;
        case Reply::kSilent: {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_heldOpen.push_back(client);
            return;
        }
        case Reply::kCloseAtOnce: break;
    }
    // Let the client read the reply before the connection goes.
    Sleep(reply == Reply::kOneByte ? 300 : 50);
    closesocket(client);
}
