#include "report/wire_writer.h"

#include <cstring>

namespace {

constexpr int kWireVarint = 0;
constexpr int kWireFixed64 = 1;
constexpr int kWireLengthDelimited = 2;

}  // namespace

void WireWriter::Uint32(int field, uint32_t value) {
    Key(field, kWireVarint);
    Varint(value);
}

void WireWriter::Enum(int field, int value) {
    Key(field, kWireVarint);
    Varint(static_cast<uint64_t>(static_cast<int64_t>(value)));
}

void WireWriter::Double(int field, double value) {
    Key(field, kWireFixed64);
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    for (int i = 0; i < 8; ++i) m_bytes.push_back(static_cast<char>(bits >> (8 * i)));
}

void WireWriter::Bytes(int field, const std::string& bytes) {
    Key(field, kWireLengthDelimited);
    Varint(bytes.size());
    m_bytes += bytes;
}

void WireWriter::Key(int field, int wireType) {
    Varint(static_cast<uint32_t>(field) << 3 | static_cast<uint32_t>(wireType));
}

void WireWriter::Varint(uint64_t value) {
    while (value >= 0x80) {
        m_bytes.push_back(static_cast<char>(value | 0x80));
        value >>= 7;
    }
    m_bytes.push_back(static_cast<char>(value));
}
