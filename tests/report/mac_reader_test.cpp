// Choosing one adapter among several, reading "ipconfig /all", and joining the device identity.
#include <gtest/gtest.h>

#include <cstring>

#include "report/device_identity.h"
#include "report/mac_reader.h"

namespace {

AdapterRecord Adapter(std::vector<uint8_t> address, const char* description,
                      const char* ip = "192.168.1.5") {
    AdapterRecord record;
    memcpy(record.address, address.data(), address.size());
    record.description = description;
    strncpy(record.firstIp.IpAddress.String, ip, sizeof(record.firstIp.IpAddress.String) - 1);
    return record;
}

std::vector<uint8_t> Mac(uint8_t last) { return {0x00, 0x1A, 0x2B, 0x3C, 0x4D, last}; }

TEST(AdapterReduce, VmwareAdapterIsDroppedEvenWithTheSmallerAddress) {
    std::vector<AdapterRecord> list = {Adapter(Mac(0x5E), "Intel(R) Ethernet"),
                                       Adapter({0x00, 0x05, 0x69, 0, 0, 1}, "VMware Virtual Ethernet Adapter")};
    CMACReaderEx::Reduce(&list, 0);
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ(0x5E, list[0].address[5]);
}

TEST(AdapterReduce, VirtualMarkersAreDropped) {
    std::vector<AdapterRecord> list = {
        Adapter({'D', 'E', 'S', 'T', 0, 0}, "dial-up"),
        Adapter({0, 'S', 'E', 1, 2, 3}, "se"),
        Adapter({0x20, 'R', 'A', 'S', 0, 1}, "ras"),
        Adapter({0, 0, 0, 0, 0, 0}, "zero"),
        Adapter({0x10, 0, 0, 0, 0, 0}, "WAN PPP/SLIP Interface"),
        Adapter({0x50, 1, 2, 3, 4, 5}, "real"),
    };
    CMACReaderEx::Reduce(&list, 0);
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ("real", list[0].description);
}

TEST(AdapterReduce, AllVirtualKeepsTheListAndPicksTheSmallest) {
    std::vector<AdapterRecord> list = {Adapter({0x00, 0x50, 0x56, 0, 0, 2}, "VMware A"),
                                       Adapter({0x00, 0x50, 0x56, 0, 0, 1}, "VMware B")};
    CMACReaderEx::Reduce(&list, 0);
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ("VMware B", list[0].description);
}

TEST(AdapterReduce, RoutableAddressBeatsLinkLocal) {
    std::vector<AdapterRecord> list = {Adapter(Mac(0x01), "link local", "169.254.3.4"),
                                       Adapter(Mac(0x09), "lan", "192.168.0.7")};
    CMACReaderEx::Reduce(&list, 0);
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ("lan", list[0].description);
}

TEST(AdapterReduce, OnlyLinkLocalAddressesPickTheSmallestAddress) {
    std::vector<AdapterRecord> list = {Adapter(Mac(0x09), "b", "169.254.3.4"),
                                       Adapter(Mac(0x01), "a", "169.254.9.9")};
    CMACReaderEx::Reduce(&list, 0);
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ("a", list[0].description);
}

TEST(AdapterReduce, SecondAddressOfTheListCounts) {
    AdapterRecord multi = Adapter(Mac(0x09), "multi", "0.0.0.0");
    IP_ADDR_STRING second = {};
    strcpy(second.IpAddress.String, "10.0.0.2");
    multi.firstIp.Next = &second;
    std::vector<AdapterRecord> list = {Adapter(Mac(0x01), "unassigned", "0.0.0.0"), multi};
    CMACReaderEx::Reduce(&list, 0);
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ("multi", list[0].description);
}

TEST(AdapterReduce, SkippingTheIpPassLetsTheSmallestAddressWin) {
    std::vector<AdapterRecord> list = {Adapter(Mac(0x01), "link local", "169.254.3.4"),
                                       Adapter(Mac(0x09), "lan", "192.168.0.7")};
    CMACReaderEx::Reduce(&list, CMACReaderEx::kSkipIpPass);
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ("link local", list[0].description);
}

TEST(AdapterReduce, ExcludingWirelessPrefersTheWiredAdapter) {
    std::vector<AdapterRecord> list = {Adapter(Mac(0x01), "Intel Wireless-N 7260"),
                                       Adapter(Mac(0x02), "Realtek \xCE\xDE\xCF\xDF adapter"),
                                       Adapter(Mac(0x03), "Huawei 3G Modem"),
                                       Adapter(Mac(0x09), "Realtek PCIe GBE")};
    std::vector<AdapterRecord> all = list;
    CMACReaderEx::Reduce(&list, CMACReaderEx::kExcludeWireless);
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ("Realtek PCIe GBE", list[0].description);
    CMACReaderEx::Reduce(&all, 0);
    EXPECT_EQ("Intel Wireless-N 7260", all[0].description);
}

TEST(AdapterReduce, ExcludingWirelessFallsBackToAllWhenNoneIsWired) {
    std::vector<AdapterRecord> list = {Adapter(Mac(0x05), "USB WiFi"),
                                       Adapter(Mac(0x04), "Bluetooth PAN")};
    CMACReaderEx::Reduce(&list, CMACReaderEx::kExcludeWireless);
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ("Bluetooth PAN", list[0].description);
}

TEST(AdapterReduce, EqualAddressesKeepTheFirstInListOrder) {
    // The IP pass reverses the list, so the later record comes first.
    std::vector<AdapterRecord> list = {Adapter(Mac(0x01), "first"), Adapter(Mac(0x01), "second")};
    CMACReaderEx::Reduce(&list, 0);
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ("second", list[0].description);
}

TEST(AdapterReduce, SingleRecordIsLeftAlone) {
    std::vector<AdapterRecord> list = {Adapter({0, 0, 0, 0, 0, 0}, "VMware")};
    CMACReaderEx::Reduce(&list, 0);
    ASSERT_EQ(1u, list.size());
}

const char kIpconfigOutput[] =
    "\r\nWindows IP Configuration\r\n\r\n"
    "   Host Name . . . . . . . . . . . . : desk\r\n"
    "Ethernet adapter Local Area Connection:\r\n\r\n"
    "   Description . . . . . . . . . . . : Realtek PCIe GBE Family Controller\r\n"
    "   Physical Address. . . . . . . . . : 00-1A-2B-3C-4D-5E\r\n"
    "   IPv4 Address. . . . . . . . . . . : 192.168.1.5\r"
    "Tunnel adapter isatap:\r\n"
    "   Description . . . . . . . . . . . : Microsoft ISATAP Adapter\r\n"
    "   Physical Address. . . . . . . . . : 00-00-00-00-00-00-00-E0\r\n"
    "Ethernet adapter Broken:\n"
    "   Description . . . . . . . . . . . : Broken\n"
    "   Physical Address. . . . . . . . . : 00-11-22\n"
    "   Description . . . . . . . . . . . : Wireless\n"
    "   Physical Address. . . . . . . . . : a0-b1-c2-d3-e4-f5\r";

TEST(IpconfigParser, ReadsDescriptionAndAddressPairs) {
    std::vector<AdapterRecord> list;
    CMACReaderEx::ParseIpconfigOutput(kIpconfigOutput, &list);
    ASSERT_EQ(3u, list.size());
    const uint8_t first[8] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0, 0};
    EXPECT_EQ(0, memcmp(first, list[0].address, 8));
    EXPECT_EQ(" Realtek PCIe GBE Family Controller\n", list[0].description);
    EXPECT_EQ(0x00, list[1].address[0]);
    // The broken address discarded its description; the next pair parses.
    EXPECT_EQ(" Wireless\n", list[2].description);
    const uint8_t last[6] = {0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5};
    EXPECT_EQ(0, memcmp(last, list[2].address, 6));
}

TEST(IpconfigParser, LocalisedLabelsYieldNothing) {
    std::vector<AdapterRecord> list;
    CMACReaderEx::ParseIpconfigOutput(
        "   Beschreibung. . . . : Realtek\r\n   Physische Adresse . : 00-1A-2B-3C-4D-5E\r\n", &list);
    EXPECT_TRUE(list.empty());
}

TEST(IpconfigParser, AddressWithoutADescriptionIsIgnored) {
    std::vector<AdapterRecord> list;
    CMACReaderEx::ParseIpconfigOutput("Physical Address: 00-1A-2B-3C-4D-5E\n", &list);
    EXPECT_TRUE(list.empty());
}

TEST(IpconfigParser, LongDescriptionIsCut) {
    std::vector<AdapterRecord> list;
    const std::string output = "Description:" + std::string(300, 'x') +
                               "\nPhysical Address: 00-1A-2B-3C-4D-5E\n";
    CMACReaderEx::ParseIpconfigOutput(output, &list);
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ(128u, list[0].description.size());
}

TEST(MacText, FirstReadingMustSucceedAndSecondMustFindAnAdapter) {
    int calls = 0;
    auto failFirst = [&](std::vector<AdapterRecord>* list) {
        if (++calls == 1) return false;
        list->push_back(Adapter(Mac(0x5E), "lan"));
        return true;
    };
    EXPECT_EQ("", MacTextFromReadings(failFirst));
    EXPECT_EQ(1, calls);

    auto emptySecond = [&](std::vector<AdapterRecord>* list) {
        if (++calls == 2) list->push_back(Adapter(Mac(0x5E), "lan"));
        return true;
    };
    EXPECT_EQ("", MacTextFromReadings(emptySecond));

    auto both = [](std::vector<AdapterRecord>* list) {
        list->push_back(Adapter({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}, "lan"));
        return true;
    };
    EXPECT_EQ("001A2B3C4D5E", MacTextFromReadings(both));
}

TEST(DeviceIdentity, PiecesAreTrimmedAndJoined) {
    EXPECT_EQ("BFEBFBFFWD-WCAV12345678001A2B3C4D5E",
              JoinDeviceIdentity("BFEBFBFF", "  WD-WCAV12345678   ", "001A2B3C4D5E"));
    EXPECT_EQ("BFEBFBFF", JoinDeviceIdentity("BFEBFBFF", std::string(20, ' '), ""));
    EXPECT_EQ("a\tb", TrimBlanks("  a\tb "));
}

TEST(DeviceIdentity, SerialIsReadHighByteFirst) {
    uint8_t identify[512] = {};
    // 19 characters and the terminating zero, which must read as a blank.
    const char serial[] = "  WD-WCAV12345678  ";
    for (int i = 0; i < 20; i += 2) {
        identify[20 + i] = static_cast<uint8_t>(serial[i + 1]);
        identify[20 + i + 1] = static_cast<uint8_t>(serial[i]);
    }
    EXPECT_EQ("  WD-WCAV12345678   ", SerialFromIdentifyData(identify));
}

TEST(DeviceIdentity, ReadsTheMachineWithoutHanging) {
    const DWORD start = GetTickCount();
    const std::string cpu = GetCpuIdText();
    ASSERT_EQ(8u, cpu.size());
    EXPECT_EQ(std::string::npos, cpu.find_first_not_of("0123456789ABCDEF"));
    const std::string identity = GetDeviceIdentity();
    EXPECT_EQ(0u, identity.find(cpu));
    EXPECT_EQ(identity, TrimBlanks(identity));
    EXPECT_LT(GetTickCount() - start, 20000u);
}

}  // namespace
