#include "framework/net/address.h"

#include "framework/net/exception.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace FF {
namespace Net {

namespace {

// Splits at every separator; empty parts count, and the rest after the last
// separator is always a part. A null text is one empty part.
std::vector<std::string> split(const char* text, char separator)
{
    std::vector<std::string> parts;
    if (!text) {
        parts.emplace_back();
        return parts;
    }
    const char* start = text;
    for (const char* p = text; *p; ++p) {
        if (*p == separator) {
            parts.emplace_back(start, p);
            start = p + 1;
        }
    }
    parts.emplace_back(start);
    return parts;
}

} // namespace

Address::Address(const char* text, unsigned int port)
    : m_port(port)
{
    const std::vector<std::string> parts = split(text, '.');
    if (parts.size() != 4)
        throw Exception("Address.Address", "format error");
    for (int i = 0; i < 4; ++i)
        m_address[i] = static_cast<std::uint8_t>(std::atoi(parts[i].c_str()) & 0xFF);
}

Address::Address(const char* text)
{
    const char* colon = text ? std::strrchr(text, ':') : nullptr;
    if (!colon) {
        *this = Address(text, 0u);
        return;
    }
    const std::string host(text, colon);
    *this = Address(host.c_str(), static_cast<unsigned int>(std::strtoul(colon + 1, nullptr, 10)));
}

Address::Address(const std::uint8_t bytes[4], unsigned int port)
    : m_port(port)
{
    std::memcpy(m_address, bytes, 4);
}

std::string Address::toString() const
{
    std::string text;
    for (int i = 0; i < 4; ++i) {
        text += std::to_string(m_address[i]);
        text += i < 3 ? '.' : ':';
    }
    text += std::to_string(m_port);
    return text;
}

bool Address::operator==(const Address& other) const
{
    return toWord() == other.toWord();
}

std::uint64_t Address::toWord() const
{
    std::uint64_t word = 0;
    for (int i = 0; i < 4; ++i)
        word |= static_cast<std::uint64_t>(m_address[i]) << (8 * i);
    return word | (static_cast<std::uint64_t>(m_port) << 32);
}

Address Address::fromWord(std::uint64_t word)
{
    std::uint8_t bytes[4];
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<std::uint8_t>(word >> (8 * i));
    return Address(bytes, static_cast<std::uint32_t>(word >> 32));
}

} // namespace Net
} // namespace FF
