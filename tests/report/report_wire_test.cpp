// The bytes a report becomes, written out by hand from the field table of the report schema
// (field number, wire type, value), so that a renumbered or retyped field, or a frame header that
// changed, fails here even though both ends would still agree with each other.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fake_report_server.h"
#include "pelora_datareport.pb.h"
#include "report/data_report_mgr.h"
#include "report/report_batch.h"
#include "report/report_sender.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes joined;
    for (const Bytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

std::string Hex(const Bytes& bytes) {
    std::string text;
    char digits[4];
    for (uint8_t byte : bytes) {
        std::snprintf(digits, sizeof(digits), "%02X ", byte);
        text += digits;
    }
    return text;
}

// ReportValue "d": 1 string_fieldName (0A), 2 valueType (10) = 3 DOUBLE, 5 double_value (29,
// 64-bit) = 0.5.
const Bytes kDoubleValue = {0x0A, 0x01, 'd', 0x10, 0x03,
                            0x29, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x3F};
// ReportValue "n": valueType 1 UINT32, 3 uint_value (18) = 150, a two-byte varint.
const Bytes kUintValue = {0x0A, 0x01, 'n', 0x10, 0x01, 0x18, 0x96, 0x01};
// ReportValue "s": valueType 2 STRING, 4 string_value (22) = "x".
const Bytes kTextValue = {0x0A, 0x01, 's', 0x10, 0x02, 0x22, 0x01, 'x'};

// ReportItem: 1 bid (0A), 2 tid (12), 3 opername (1A), 4 module (22), 5 action (2A), 6 the values
// (32, each length-delimited, in name order), 7 networkType (38) = 6 WIRED. 53 bytes.
const Bytes kItem = Join({{0x0A, 0x01, 'b', 0x12, 0x01, 't', 0x1A, 0x01, 'o', 0x22, 0x01, 'm',
                           0x2A, 0x01, 'a'},
                          {0x32, 0x0E}, kDoubleValue,
                          {0x32, 0x08}, kUintValue,
                          {0x32, 0x08}, kTextValue,
                          {0x38, 0x06}});

// ReportData: 1 clientVersion (0A), 2 uid (12), 3 the item (1A), 4 clientBuild (22, empty but
// present), 5 clientSeq (28, varint), 6 terminalType (30) = 1 PC, 7 deviceID (3A), 8 osVersion
// (42), 9 device (4A), all three empty but present; 10 rom never.
Bytes ExpectedReport(const Bytes& sequenceVarint) {
    return Join({{0x0A, 0x08, '1', '.', '1', '4', '.', '3', '0', '1'},
                 {0x12, 0x02, '4', '2'},
                 {0x1A, 0x35}, kItem,
                 {0x22, 0x00},
                 {0x28}, sequenceVarint,
                 {0x30, 0x01},
                 {0x3A, 0x00, 0x42, 0x00, 0x4A, 0x00}});
}

PeloraReportItem Item() {
    PeloraReportItem item;
    item.SetBid("b");
    item.SetTid("t");
    item.SetOpername("o");
    item.SetModule("m");
    item.SetAction("a");
    item.SetNetworkType(6);
    item.SetStringValue("s", "x");
    item.SetUintValue("n", 150);
    item.SetDoubleValue("d", 0.5);
    return item;
}

TEST(ReportWire, ABatchEncodesToTheseBytes) {
    ReportBatch batch;
    batch.clientVersion = "1.14.301";
    batch.uid = "42";
    batch.items.push_back(Item());
    const std::string encoded = EncodeReportData(MakeReportMessage(batch, 0, 1, 300));
    const Bytes actual(encoded.begin(), encoded.end());
    const Bytes expected = ExpectedReport({0xAC, 0x02});
    ASSERT_EQ(82u, expected.size());
    EXPECT_EQ(Hex(expected), Hex(actual));
}

// Protobuf writes a parsed message back in its canonical form: the program's bytes must be that
// form, whatever the lengths, values and kinds, or the server's parser and ours would disagree
// about some message.
TEST(ReportWire, TheBytesAreThoseProtobufWritesForTheSameMessage) {
    ReportBatch batch;
    batch.clientVersion = "1.14.301";
    batch.clientBuild = std::string(200, 'b');  // a two-byte length
    PeloraReportItem full = Item();
    full.SetNetworkType(1);
    full.SetStringValue("", "\xD3\xB3\xB2\xCA");  // an empty name, code-page 936 text
    full.SetUintValue("max", 0xFFFFFFFFu);
    full.SetUintValue("zero", 0);
    full.SetDoubleValue("negative", -1.0e300);
    full.SetStringValue("long", std::string(300, 'x').c_str());
    PeloraReportItem bare;
    bare.SetNetworkType(0);
    PeloraReportItem last;
    last.SetAction("uninstaller_done");
    last.SetNetworkType(7);
    batch.items = {full, bare, last, Item()};

    for (uint32_t sequence : {0u, 127u, 128u, 0xFFFFFFFFu}) {
        const std::string encoded = EncodeReportData(MakeReportMessage(batch, 0, 4, sequence));
        pelora_data_report::ReportData parsed;
        ASSERT_TRUE(parsed.ParseFromString(encoded)) << sequence;
        EXPECT_EQ(4, parsed.list_reportitem_size());
        EXPECT_EQ(sequence, parsed.uint_clientseq());
        const std::string canonical = parsed.SerializeAsString();
        EXPECT_EQ(Hex(Bytes(canonical.begin(), canonical.end())), Hex(Bytes(encoded.begin(), encoded.end())))
            << "sequence " << sequence;
    }
}

TEST(ReportWire, TheFrameHeaderIsF100AndABigEndianLength) {
    const Bytes payload(300, 0x5A);
    const Bytes frame = BuildFrame(payload.data(), static_cast<uint32_t>(payload.size()));
    ASSERT_EQ(306u, frame.size());
    EXPECT_EQ(Hex({0xF1, 0x00, 0x00, 0x00, 0x01, 0x2C}), Hex(Bytes(frame.begin(), frame.begin() + 6)));
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), frame.begin() + 6));
}

// The first message of the manager, as the server receives it: sequence 0 still on the wire.
TEST(ReportWire, TheServerReceivesThisFrame) {
    FakeReportServer server;
    ReportEndpoint endpoint;
    endpoint.host = L"127.0.0.1";
    endpoint.ports.assign(1, std::to_string(server.port()));
    auto manager = DataReportMgr::Create(endpoint, ReportTimings());
    manager->SetClientVersion("1.14.301");
    manager->SetUid("42");
    manager->AddReportItem(Item(), true);
    ASSERT_TRUE(server.WaitForFrames(1, 5000));
    manager->UninitalizeDataReport(1, 3000);

    const Bytes payload = ExpectedReport({0x00});
    ASSERT_EQ(81u, payload.size());
    const Bytes expected = Join({{0xF1, 0x00, 0x00, 0x00, 0x00, 0x51}, payload});
    EXPECT_EQ(Hex(expected), Hex(server.frames()[0]));
}

}  // namespace
