// The frame on the wire and the acknowledgement rules of one exchange.
#include <gtest/gtest.h>

#include "fake_report_server.h"
#include "report/report_sender.h"

namespace {

using Reply = FakeReportServer::Reply;

ReportEndpoint Loopback(uint16_t port) {
    ReportEndpoint endpoint;
    endpoint.host = L"127.0.0.1";
    endpoint.ports.assign(1, std::to_string(port));
    return endpoint;
}

class SendFrameTest : public ::testing::Test {
protected:
    bool Send(const std::vector<uint8_t>& payload) {
        return SendFrame(Loopback(server.port()), payload.data(),
                         static_cast<uint32_t>(payload.size()), nullptr, SendLimits());
    }
    WinsockSession winsock;
    FakeReportServer server;
    std::vector<uint8_t> payload = std::vector<uint8_t>(300, 0x5A);
};

TEST(ReportFrame, HeaderIsF100AndBigEndianLength) {
    const std::vector<uint8_t> payload(300, 0x11);
    const std::vector<uint8_t> frame = BuildFrame(payload.data(), 300);
    ASSERT_EQ(306u, frame.size());
    const uint8_t expected[] = {0xF1, 0x00, 0x00, 0x00, 0x01, 0x2C};
    EXPECT_TRUE(std::equal(expected, expected + 6, frame.begin()));
    EXPECT_EQ(0x11, frame[6]);
    EXPECT_EQ(0x11, frame[305]);
}

TEST(ReportFrame, AcknowledgementNeedsTwoBytesStartingWithF1) {
    const uint8_t good[2] = {0xF1, 0x7E};
    const uint8_t bad[2] = {0xF0, 0x00};
    EXPECT_TRUE(IsAcknowledgement(good, 2));
    EXPECT_FALSE(IsAcknowledgement(good, 1));
    EXPECT_FALSE(IsAcknowledgement(good, 0));
    EXPECT_FALSE(IsAcknowledgement(good, -1));
    EXPECT_FALSE(IsAcknowledgement(bad, 2));
}

TEST_F(SendFrameTest, AcknowledgedFrameArrivesWhole) {
    ASSERT_TRUE(Send(payload));
    ASSERT_TRUE(server.WaitForFrames(1, 2000));
    const auto frames = server.frames();
    ASSERT_EQ(306u, frames[0].size());
    EXPECT_EQ(0x2C, frames[0][5]);
    EXPECT_EQ(0x5A, frames[0][305]);
}

TEST_F(SendFrameTest, OneByteReplyFails) {
    server.SetReply(Reply::kOneByte);
    EXPECT_FALSE(Send(payload));
}

TEST_F(SendFrameTest, WrongFirstByteFails) {
    server.SetReply(Reply::kWrongFirstByte);
    EXPECT_FALSE(Send(payload));
}

TEST_F(SendFrameTest, SilenceBeyondTwoSecondsFails) {
    server.SetReply(Reply::kSilent);
    const DWORD start = GetTickCount();
    EXPECT_FALSE(Send(payload));
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 1900u);
    EXPECT_LT(elapsed, 3500u);
}

TEST_F(SendFrameTest, ReplyWithinTwoSecondsSucceeds) {
    server.SetReply(Reply::kDelayed, 1000);
    EXPECT_TRUE(Send(payload));
}

TEST_F(SendFrameTest, ClosedAtOnceFails) {
    server.SetReply(Reply::kCloseAtOnce);
    EXPECT_FALSE(Send(payload));
}

TEST_F(SendFrameTest, RefusedConnectionFails) {
    server.StopListening();
    EXPECT_FALSE(Send(payload));
}

TEST_F(SendFrameTest, EmptyPayloadSucceedsWithoutConnectingAndNullFails) {
    const uint8_t byte = 0;
    EXPECT_TRUE(SendFrame(Loopback(server.port()), &byte, 0, nullptr, SendLimits()));
    EXPECT_FALSE(SendFrame(Loopback(server.port()), nullptr, 5, nullptr, SendLimits()));
    Sleep(100);
    EXPECT_EQ(0u, server.connections());
}

TEST_F(SendFrameTest, StopEventEndsTheAcknowledgementWait) {
    server.SetReply(Reply::kSilent);
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread stopper([stop] {
        Sleep(200);
        SetEvent(stop);
    });
    const DWORD start = GetTickCount();
    EXPECT_FALSE(SendFrame(Loopback(server.port()), payload.data(), 300, stop, SendLimits()));
    EXPECT_LT(GetTickCount() - start, 1000u);
    stopper.join();
    CloseHandle(stop);
}

TEST(ReportEndpointTest, OverrideNeedsHostAndPort) {
    ReportEndpoint endpoint;
    ASSERT_TRUE(ParseEndpointOverride("127.0.0.1:8123", &endpoint));
    EXPECT_EQ(L"127.0.0.1", endpoint.host);
    ASSERT_EQ(1u, endpoint.ports.size());
    EXPECT_EQ("8123", endpoint.ports[0]);
    EXPECT_FALSE(ParseEndpointOverride("127.0.0.1", &endpoint));
    EXPECT_FALSE(ParseEndpointOverride(":8000", &endpoint));
    EXPECT_FALSE(ParseEndpointOverride("host:", &endpoint));
}

TEST(ReportEndpointTest, AddressAndPortResolution) {
    WinsockSession winsock;
    EXPECT_EQ(htonl(0x7F000001), ResolveServerAddress(L"127.0.0.1"));
    EXPECT_EQ(INADDR_NONE, ResolveServerAddress(L"255.255.255.255"));
    EXPECT_EQ(INADDR_NONE, ResolveServerAddress(L"no-such-host.invalid"));
    EXPECT_EQ(8000, ResolveServerPort("8000"));
    EXPECT_EQ(0, ResolveServerPort("no-such-service-name"));
}

}  // namespace
