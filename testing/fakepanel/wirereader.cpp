#include "testing/fakepanel/wirereader.h"

#include <type_traits>

namespace Fake {

template <typename T>
bool WireReader::readLittleEndian(T& value)
{
    if (remaining() < sizeof(T))
        return false;
    using U = std::make_unsigned_t<T>;
    U bits = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        bits = static_cast<U>(bits | (static_cast<U>(m_data[m_pos + i]) << (8 * i)));
    m_pos += sizeof(T);
    value = static_cast<T>(bits);
    return true;
}

bool WireReader::u8(uint8_t& value)
{
    return readLittleEndian(value);
}

bool WireReader::u32(uint32_t& value)
{
    return readLittleEndian(value);
}

bool WireReader::i32(int32_t& value)
{
    return readLittleEndian(value);
}

bool WireReader::u64(uint64_t& value)
{
    return readLittleEndian(value);
}

bool WireReader::i64(int64_t& value)
{
    return readLittleEndian(value);
}

bool WireReader::boolean(bool& value)
{
    uint8_t byte = 0;
    if (!u8(byte))
        return false;
    value = byte != 0;
    return true;
}

bool WireReader::string(std::string& text)
{
    uint32_t length = 0;
    if (!u32(length))
        return false;
    if (length > remaining())
        return false;
    text.assign(reinterpret_cast<const char*>(m_data + m_pos), length);
    m_pos += length;
    return true;
}

bool WireReader::byteVector(std::vector<uint8_t>& bytes)
{
    const size_t start = m_pos;
    uint32_t count = 0;
    if (!u32(count))
        return false;
    if (!raw(count, bytes)) {
        m_pos = start;
        return false;
    }
    return true;
}

bool WireReader::raw(size_t count, std::vector<uint8_t>& bytes)
{
    if (count > remaining())
        return false;
    bytes.assign(m_data + m_pos, m_data + m_pos + count);
    m_pos += count;
    return true;
}

std::vector<uint8_t> WireReader::rest() const
{
    return std::vector<uint8_t>(m_data + m_pos, m_data + m_size);
}

} // namespace Fake
