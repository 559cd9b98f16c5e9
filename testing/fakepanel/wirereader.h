#pragma once

// Reads little-endian plain values from a byte range. Every read checks the
// bytes that remain first; a failed read returns false and consumes nothing,
// except a string whose length word was read but whose bytes are missing
// (the length stays consumed, as on the client side). Lengths never allocate
// beyond the bytes present.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Fake {

class WireReader {
public:
    WireReader(const uint8_t* data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    explicit WireReader(const std::vector<uint8_t>& bytes)
        : WireReader(bytes.data(), bytes.size())
    {
    }

    bool u8(uint8_t& value);
    bool u32(uint32_t& value);
    bool i32(int32_t& value);
    bool u64(uint64_t& value);
    bool i64(int64_t& value);
    bool boolean(bool& value);
    bool string(std::string& text);
    bool byteVector(std::vector<uint8_t>& bytes);
    bool raw(size_t count, std::vector<uint8_t>& bytes);

    size_t pos() const { return m_pos; }
    size_t remaining() const { return m_size - m_pos; }
    bool atEnd() const { return m_pos == m_size; }
    std::vector<uint8_t> rest() const;

private:
    template <typename T>
    bool readLittleEndian(T& value);

    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_pos = 0;
};

} // namespace Fake
