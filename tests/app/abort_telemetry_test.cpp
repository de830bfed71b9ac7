// The engine's abort with the real telemetry behind it: a report server that accepts the
// connection and never answers must not hold the abort up for more than its one-second wait.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "app/install_client.h"
#include "app/install_errors.h"
#include "app/install_manager.h"
#include "recording_steps.h"
#include "report/installer_events.h"

namespace {

class NullClient : public IInstallClient {
public:
    void OnError(InstallError* error) override { delete error; }
    void OnProgress(float) override {}
    void OnStep(int) override {}
};

// Records the engine's calls but sends its events through the real report manager.
class RealTelemetrySteps : public RecordingSteps {
public:
    bool ReportInit(const std::wstring& first, const std::wstring& registered, const std::wstring& source,
                    const std::wstring& userId) override {
        return ::ReportInit(first, registered, source, userId);
    }
    void ReportInstallerStart() override { ::ReportInstallerStart(); }
    void ReportInstallerAbort() override { ::ReportInstallerAbort(); }
    void ReportShutdown(uint32_t milliseconds) override { ::ReportShutdown(milliseconds); }
};

// Listens on a loopback port, accepts every connection and never answers.
class SilentServer {
public:
    SilentServer() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(m_listener, 16);
        int length = sizeof(address);
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_acceptor = std::thread([this] {
            for (;;) {
                SOCKET connection = accept(m_listener, nullptr, nullptr);
                if (connection == INVALID_SOCKET) return;
                m_held = connection;  // kept open, never read or answered
            }
        });
    }
    ~SilentServer() {
        closesocket(m_listener);
        m_acceptor.join();
        if (m_held != INVALID_SOCKET) closesocket(m_held);
    }
    unsigned short Port() const { return m_port; }

private:
    SOCKET m_listener = INVALID_SOCKET;
    SOCKET m_held = INVALID_SOCKET;
    unsigned short m_port = 0;
    std::thread m_acceptor;
};

TEST(EngineAbort, ReturnsWithinAboutASecondWhenTheServerIsSilent) {
    SilentServer server;
    const std::string address = "PELORA_REPORT_SERVER=127.0.0.1:" + std::to_string(server.Port());
    _putenv(address.c_str());

    RealTelemetrySteps steps;
    NullClient client;
    InstallManager engine(nullptr, &client, steps);
    CommandLineOptions options;
    ASSERT_EQ(0, engine.Init({L"MSI", 2031}, {L"MSI", 2019}, options));
    engine.StartExtract();
    ::ReportInstallerStart();  // something already queued and stuck on the silent server
    Sleep(200);

    const DWORD before = GetTickCount();
    engine.Abort();
    const DWORD elapsed = GetTickCount() - before;
    EXPECT_LT(elapsed, 1500u) << "Abort waited " << elapsed << " ms";
    EXPECT_TRUE(engine.IsCancelled());
}

}  // namespace
