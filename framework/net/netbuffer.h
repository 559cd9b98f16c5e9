#pragma once

// The framework's only byte buffer: a growable block with 8 bytes of
// headroom in front of the contents, so that a frame header and the body
// leave in one send without copying. Movable, not copyable.

#include "framework/utils/ibuffer.h"

#include <cstdint>

namespace FF {
namespace Net {

class NetBuffer : public FF::utils::IBuffer {
public:
    static constexpr std::uint64_t kHeadroom = 8;

    NetBuffer() = default;
    ~NetBuffer() override;
    NetBuffer(NetBuffer&& other) noexcept;
    NetBuffer& operator=(NetBuffer&& other) noexcept;
    NetBuffer(const NetBuffer&) = delete;
    NetBuffer& operator=(const NetBuffer&) = delete;

    void write(const void* bytes, std::uint64_t count) override;
    bool read(void* out, std::uint64_t count) override;
    std::uint64_t size() const override { return m_size; }
    std::uint64_t resize(std::uint64_t newSize) override;
    std::uint64_t readPos() const override { return m_readPos; }
    std::uint64_t writePos() const override { return m_writePos; }
    std::uint64_t setReadPos(std::uint64_t position) override;
    std::uint64_t setWritePos(std::uint64_t position) override;
    FF::byte* data() override { return m_body; }
    const FF::byte* data() const { return m_body; }

    std::uint64_t capacity() const { return m_capacity; }
    // Frees the block; every field becomes zero.
    void release();
    // Size and positions to 0, the block and its capacity kept.
    void reset();
    // Drops the first count bytes without moving the rest: data() then starts
    // count bytes later and both positions move back by count (not below 0).
    // The dropped bytes serve as headroom; reset() or a growth takes them back.
    void discardFront(std::uint64_t count);
    // Stores the little-endian header in the 8 bytes in front of the body;
    // returns the start of the frame (header, then body), or null without a block.
    FF::byte* putHeader(std::uint64_t header);
    // Size + 8, or 0 for an empty buffer.
    std::uint64_t framedSize() const { return m_size ? m_size + kHeadroom : 0; }

private:
    void reallocate(std::uint64_t newCapacity);

    FF::byte* m_storage = nullptr;
    FF::byte* m_body = nullptr; // m_storage + kHeadroom + m_front
    std::uint64_t m_front = 0;  // bytes dropped by discardFront
    std::uint64_t m_size = 0;
    std::uint64_t m_capacity = 0;
    std::uint64_t m_readPos = 0;
    std::uint64_t m_writePos = 0;
};

} // namespace Net
} // namespace FF
