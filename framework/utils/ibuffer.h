#pragma once

// The byte buffer interface every serializer writes into and reads from:
// separate read and write positions over one block of valid bytes.

#include "framework/utils/fftypes.h"

#include <cstdint>

namespace FF {
namespace utils {

class IBuffer {
public:
    virtual ~IBuffer() = default;

    // Appends count bytes at the write position, growing the buffer.
    virtual void write(const void* bytes, std::uint64_t count) = 0;
    // Takes count bytes from the read position; false (and nothing taken)
    // when fewer remain.
    virtual bool read(void* out, std::uint64_t count) = 0;
    virtual std::uint64_t size() const = 0;
    // Sets the size (and capacity), both positions to 0; returns the old size.
    virtual std::uint64_t resize(std::uint64_t newSize) = 0;
    virtual std::uint64_t readPos() const = 0;
    virtual std::uint64_t writePos() const = 0;
    // Both leave the position unchanged when it lies beyond the size, and
    // return the previous position.
    virtual std::uint64_t setReadPos(std::uint64_t position) = 0;
    virtual std::uint64_t setWritePos(std::uint64_t position) = 0;
    virtual byte* data() { return nullptr; }

    // Bytes between the read position and the end of the valid bytes.
    std::uint64_t remaining() const { return readPos() < size() ? size() - readPos() : 0; }
};

} // namespace utils
} // namespace FF
