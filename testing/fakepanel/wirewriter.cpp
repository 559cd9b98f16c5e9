#include "testing/fakepanel/wirewriter.h"

namespace Fake {

namespace {

template <typename T>
void appendLittleEndian(std::vector<uint8_t>& out, T value)
{
    using U = std::make_unsigned_t<T>;
    U bits = static_cast<U>(value);
    for (size_t i = 0; i < sizeof(T); ++i) {
        out.push_back(static_cast<uint8_t>(bits & 0xFF));
        bits = static_cast<U>(bits >> 8);
    }
}

} // namespace

WireWriter& WireWriter::u8(uint8_t value)
{
    m_bytes.push_back(value);
    return *this;
}

WireWriter& WireWriter::u32(uint32_t value)
{
    appendLittleEndian(m_bytes, value);
    return *this;
}

WireWriter& WireWriter::i32(int32_t value)
{
    appendLittleEndian(m_bytes, value);
    return *this;
}

WireWriter& WireWriter::u64(uint64_t value)
{
    appendLittleEndian(m_bytes, value);
    return *this;
}

WireWriter& WireWriter::i64(int64_t value)
{
    appendLittleEndian(m_bytes, value);
    return *this;
}

WireWriter& WireWriter::boolean(bool value)
{
    return u8(value ? 1 : 0);
}

WireWriter& WireWriter::string(std::string_view text)
{
    u32(static_cast<uint32_t>(text.size()));
    return raw(text.data(), text.size());
}

WireWriter& WireWriter::byteVector(const std::vector<uint8_t>& bytes)
{
    u32(static_cast<uint32_t>(bytes.size()));
    return raw(bytes);
}

WireWriter& WireWriter::raw(const void* bytes, size_t count)
{
    const auto* p = static_cast<const uint8_t*>(bytes);
    m_bytes.insert(m_bytes.end(), p, p + count);
    return *this;
}

WireWriter& WireWriter::raw(const std::vector<uint8_t>& bytes)
{
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

} // namespace Fake
