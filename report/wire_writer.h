#pragma once

#include <cstdint>
#include <string>

// The protocol-buffers wire format, as far as the report schema (pelora_datareport.proto) needs
// it: varint, 64-bit and length-delimited fields. Fields are appended in the order they are
// written; protobuf's own serialiser writes them in field-number order, and so must the caller
// for the bytes to be the same.
class WireWriter {
public:
    // uint32 fields.
    void Uint32(int field, uint32_t value);
    // enum (int32) fields: a negative value takes ten bytes, as protobuf writes it.
    void Enum(int field, int value);
    void Double(int field, double value);
    // string, bytes and embedded-message fields (a message is written as its encoded bytes).
    void Bytes(int field, const std::string& bytes);

    const std::string& bytes() const { return m_bytes; }

private:
    void Key(int field, int wireType);
    void Varint(uint64_t value);

    std::string m_bytes;
};
