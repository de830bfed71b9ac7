#pragma once

#include <winsock2.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "pelora_datareport.pb.h"

// A report server on 127.0.0.1 inside the test process. It records every frame it receives
// (acknowledged or not) and answers after the reply mode in force when the frame arrived.
class FakeReportServer {
public:
    enum class Reply { kAcknowledge, kSilent, kOneByte, kWrongFirstByte, kDelayed, kCloseAtOnce };

    explicit FakeReportServer(Reply reply = Reply::kAcknowledge);
    ~FakeReportServer();
    FakeReportServer(const FakeReportServer&) = delete;
    FakeReportServer& operator=(const FakeReportServer&) = delete;

    uint16_t port() const { return m_port; }
    void SetReply(Reply reply, unsigned delayMs = 0);
    // Closes the listening socket: later connections are refused.
    void StopListening();

    // Waits until at least `count` frames have arrived.
    bool WaitForFrames(size_t count, unsigned timeoutMs);
    std::vector<std::vector<uint8_t>> frames();
    // The payloads parsed as ReportData (frames that do not parse are skipped).
    std::vector<pelora_data_report::ReportData> messages();
    size_t connections();

private:
    void Serve();
    void Handle(SOCKET client);

    SOCKET m_listener = INVALID_SOCKET;
    uint16_t m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    bool m_stop = false;
    Reply m_reply;
    unsigned m_delayMs = 0;
    size_t m_connections = 0;
    std::vector<std::vector<uint8_t>> m_frames;
    std::vector<SOCKET> m_heldOpen;  // connections of the silent mode, closed at the end
};
