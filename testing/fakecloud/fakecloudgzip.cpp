#include "testing/fakecloud/fakecloudgzip.h"

#include <array>
#include <cstdint>

namespace {

// Writes a deflate stream least significant bit first, as RFC 1951 packs it.
class BitWriter {
public:
    explicit BitWriter(QByteArray& out)
        : m_out(out)
    {
    }
    void put(std::uint32_t bits, int count)
    {
        m_acc |= static_cast<std::uint64_t>(bits) << m_count;
        m_count += count;
        while (m_count >= 8) {
            m_out.append(static_cast<char>(m_acc & 0xff));
            m_acc >>= 8;
            m_count -= 8;
        }
    }
    // A Huffman code goes most significant bit first.
    void putCode(std::uint32_t code, int length)
    {
        std::uint32_t reversed = 0;
        for (int i = 0; i < length; ++i)
            reversed |= ((code >> i) & 1u) << (length - 1 - i);
        put(reversed, length);
    }
    void flush()
    {
        if (m_count > 0)
            put(0, 8 - m_count);
    }

private:
    QByteArray& m_out;
    std::uint64_t m_acc = 0;
    int m_count = 0;
};

// CRC-32 of `size` zero bytes: the register step of one zero byte is linear,
// so its size-th power is built by squaring.
std::uint32_t crc32OfZeros(qint64 size)
{
    using Matrix = std::array<std::uint32_t, 32>;
    auto apply = [](const Matrix& m, std::uint32_t v) {
        std::uint32_t r = 0;
        for (int i = 0; v != 0; ++i, v >>= 1) {
            if (v & 1u)
                r ^= m[i];
        }
        return r;
    };
    auto times = [&](const Matrix& a, const Matrix& b) {
        Matrix r{};
        for (int i = 0; i < 32; ++i)
            r[i] = apply(a, b[i]);
        return r;
    };
    Matrix step{};
    Matrix power{};
    for (int i = 0; i < 32; ++i) {
        std::uint32_t s = 1u << i;
        for (int k = 0; k < 8; ++k)
            s = (s & 1u) ? (s >> 1) ^ 0xEDB88320u : s >> 1;
        step[i] = s;
        power[i] = 1u << i;
    }
    for (qint64 n = size; n > 0; n >>= 1) {
        if (n & 1)
            power = times(step, power);
        step = times(step, step);
    }
    return apply(power, 0xFFFFFFFFu) ^ 0xFFFFFFFFu;
}

} // namespace

QByteArray FakeCloudGzip::ofZeros(qint64 size)
{
    // One fixed-Huffman block: a literal zero, then matches of 258 bytes at
    // distance 1 (13 bits each), zero literals for the rest, end of block.
    constexpr std::uint32_t kLiteralZero = 0x30; // 8-bit code of literal 0
    constexpr std::uint32_t kLength258 = 0xC5;   // 8-bit code of length symbol 285
    constexpr std::uint32_t kEndOfBlock = 0;     // 7-bit code of symbol 256
    QByteArray out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
    out.reserve(static_cast<int>(size / 150 + 64));
    BitWriter bits(out);
    bits.put(1, 1); // last block
    bits.put(1, 2); // fixed Huffman codes
    qint64 left = size;
    if (left > 0) {
        bits.putCode(kLiteralZero, 8);
        --left;
    }
    for (; left >= 258; left -= 258) {
        bits.putCode(kLength258, 8);
        bits.putCode(0, 5); // distance 1
    }
    for (; left > 0; --left)
        bits.putCode(kLiteralZero, 8);
    bits.putCode(kEndOfBlock, 7);
    bits.flush();
    const std::uint32_t crc = crc32OfZeros(size);
    const auto isize = static_cast<std::uint32_t>(size);
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((crc >> (8 * i)) & 0xff));
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((isize >> (8 * i)) & 0xff));
    return out;
}
