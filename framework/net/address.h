#pragma once

// The endpoint of a framework connection: four IPv4 address bytes in text
// order and a TCP port, written as "a.b.c.d:port".

#include <cstdint>
#include <string>

namespace FF {
namespace Net {

class Address {
public:
    Address() = default;
    // text is a dotted address of exactly four parts, each converted like
    // atoi and cut to 8 bits; otherwise ("Address.Address", "format error").
    Address(const char* text, unsigned int port);
    // "a.b.c.d:port"; without a ':' the port is 0.
    explicit Address(const char* text);
    // From four bytes in text order.
    Address(const std::uint8_t bytes[4], unsigned int port);

    std::string toString() const;
    bool operator==(const Address& other) const;
    bool operator!=(const Address& other) const { return !(*this == other); }

    const std::uint8_t* bytes() const { return m_address; }
    unsigned int port() const { return m_port; }

    // The 64-bit form of the re-initialization message: the four bytes as
    // the low 32 bits (first byte lowest), the port as the high 32 bits.
    std::uint64_t toWord() const;
    static Address fromWord(std::uint64_t word);

private:
    std::uint8_t m_address[4] = {0, 0, 0, 0};
    std::uint32_t m_port = 0;
};

} // namespace Net
} // namespace FF
