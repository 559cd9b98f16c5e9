#pragma once

// Appends little-endian plain values to a byte vector: the service's side of the
// framework's wire forms (no type names; see MethodResult for typed values).

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace Fake {

class WireWriter {
public:
    WireWriter& u8(uint8_t value);
    WireWriter& u32(uint32_t value);
    WireWriter& i32(int32_t value);
    WireWriter& u64(uint64_t value);
    WireWriter& i64(int64_t value);
    WireWriter& boolean(bool value);
    // u32 byte length, then the bytes, no terminator.
    WireWriter& string(std::string_view text);
    // u32 byte count, then the bytes.
    WireWriter& byteVector(const std::vector<uint8_t>& bytes);
    WireWriter& raw(const void* bytes, size_t count);
    WireWriter& raw(const std::vector<uint8_t>& bytes);

    const std::vector<uint8_t>& bytes() const { return m_bytes; }
    std::vector<uint8_t> take() { return std::move(m_bytes); }
    size_t size() const { return m_bytes.size(); }

private:
    std::vector<uint8_t> m_bytes;
};

} // namespace Fake
