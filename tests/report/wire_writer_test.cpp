// The wire format's encodings at their edges, written out by hand.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "report/wire_writer.h"

namespace {

std::string Hex(const std::string& bytes) {
    std::string text;
    char digits[4];
    for (unsigned char byte : bytes) {
        std::snprintf(digits, sizeof(digits), "%02X ", byte);
        text += digits;
    }
    return text;
}

TEST(WireWriter, VarintsTakeSevenBitsPerByteLowestFirst) {
    WireWriter out;
    out.Uint32(1, 0);
    out.Uint32(1, 127);
    out.Uint32(1, 128);
    out.Uint32(1, 0xFFFFFFFFu);
    EXPECT_EQ("08 00 08 7F 08 80 01 08 FF FF FF FF 0F ", Hex(out.bytes()));
}

TEST(WireWriter, FieldNumbersAbove15TakeATwoByteKey) {
    WireWriter out;
    out.Uint32(16, 1);
    EXPECT_EQ("80 01 01 ", Hex(out.bytes()));
}

TEST(WireWriter, ANegativeEnumIsSignExtendedToTenBytes) {
    WireWriter out;
    out.Enum(2, -1);
    out.Enum(2, 6);
    EXPECT_EQ("10 FF FF FF FF FF FF FF FF FF 01 10 06 ", Hex(out.bytes()));
}

TEST(WireWriter, ADoubleIsItsEightBytesLittleEndian) {
    WireWriter out;
    out.Double(5, -2.0);
    EXPECT_EQ("29 00 00 00 00 00 00 00 C0 ", Hex(out.bytes()));
}

TEST(WireWriter, BytesArePrefixedWithTheirLength) {
    WireWriter out;
    out.Bytes(1, "");
    out.Bytes(4, std::string("a\0b", 3));
    EXPECT_EQ("0A 00 22 03 61 00 62 ", Hex(out.bytes()));
    WireWriter longer;
    longer.Bytes(1, std::string(200, 'x'));
    ASSERT_EQ(203u, longer.bytes().size());
    EXPECT_EQ("0A C8 01 ", Hex(longer.bytes().substr(0, 3)));
}

}  // namespace
