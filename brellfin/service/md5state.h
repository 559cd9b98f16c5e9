#pragma once

// MD5 (RFC 1321) as a plain value: its state can be copied at any point of
// a stream, so that a worker can hash ahead from a copy and the feeder can
// take the stream back from the last state the worker handed in.

#include <array>
#include <cstddef>
#include <cstdint>

class Md5State {
public:
    void add(const void* bytes, std::size_t count);
    // The 16-byte digest of what was added; the state itself goes on unchanged.
    std::array<std::uint8_t, 16> result() const;

private:
    void block(const std::uint8_t* bytes);

    std::uint32_t m_a = 0x67452301;
    std::uint32_t m_b = 0xefcdab89;
    std::uint32_t m_c = 0x98badcfe;
    std::uint32_t m_d = 0x10325476;
    std::uint64_t m_count = 0;
    std::uint8_t m_tail[64] = {};
};
