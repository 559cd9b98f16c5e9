#include "framework/net/netbuffer.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace FF {
namespace Net {

NetBuffer::~NetBuffer()
{
    std::free(m_storage);
}

NetBuffer::NetBuffer(NetBuffer&& other) noexcept
    : m_storage(other.m_storage)
    , m_body(other.m_body)
    , m_front(other.m_front)
    , m_size(other.m_size)
    , m_capacity(other.m_capacity)
    , m_readPos(other.m_readPos)
    , m_writePos(other.m_writePos)
{
    other.m_storage = nullptr;
    other.m_body = nullptr;
    other.m_front = other.m_size = other.m_capacity = other.m_readPos = other.m_writePos = 0;
}

NetBuffer& NetBuffer::operator=(NetBuffer&& other) noexcept
{
    if (this != &other) {
        std::free(m_storage);
        m_storage = other.m_storage;
        m_body = other.m_body;
        m_front = other.m_front;
        m_size = other.m_size;
        m_capacity = other.m_capacity;
        m_readPos = other.m_readPos;
        m_writePos = other.m_writePos;
        other.m_storage = nullptr;
        other.m_body = nullptr;
        other.m_front = other.m_size = other.m_capacity = other.m_readPos = other.m_writePos = 0;
    }
    return *this;
}

void NetBuffer::reallocate(std::uint64_t newCapacity)
{
    if (m_front) {
        // The contents move back to the start of the block first, so that
        // the dropped front is reused instead of carried along.
        const std::uint64_t keep = m_size < newCapacity ? m_size : newCapacity;
        if (keep)
            std::memmove(m_storage + kHeadroom, m_body, static_cast<std::size_t>(keep));
        m_capacity += m_front;
        m_front = 0;
        m_body = m_storage + kHeadroom;
    }
    void* block = std::realloc(m_storage, static_cast<std::size_t>(newCapacity + kHeadroom));
    if (!block)
        throw std::bad_alloc();
    m_storage = static_cast<FF::byte*>(block);
    m_body = m_storage + kHeadroom;
    m_capacity = newCapacity;
}

void NetBuffer::write(const void* bytes, std::uint64_t count)
{
    if (count == 0)
        return;
    if (m_writePos + count > m_capacity) {
        const std::uint64_t shortfall = count - (m_capacity - m_writePos);
        reallocate(shortfall > m_capacity ? m_capacity + shortfall : m_capacity * 2);
    }
    std::memcpy(m_body + m_writePos, bytes, static_cast<std::size_t>(count));
    m_writePos += count;
    if (m_writePos > m_size)
        m_size = m_writePos;
}

bool NetBuffer::read(void* out, std::uint64_t count)
{
    if (count > m_size || m_readPos > m_size - count)
        return false;
    if (count > 0)
        std::memcpy(out, m_body + m_readPos, static_cast<std::size_t>(count));
    m_readPos += count;
    return true;
}

std::uint64_t NetBuffer::resize(std::uint64_t newSize)
{
    const std::uint64_t old = m_size;
    if (newSize == 0) {
        release();
        return old;
    }
    reallocate(newSize);
    m_size = newSize;
    m_readPos = m_writePos = 0;
    return old;
}

std::uint64_t NetBuffer::setReadPos(std::uint64_t position)
{
    const std::uint64_t old = m_readPos;
    if (position <= m_size)
        m_readPos = position;
    return old;
}

std::uint64_t NetBuffer::setWritePos(std::uint64_t position)
{
    const std::uint64_t old = m_writePos;
    if (position <= m_size)
        m_writePos = position;
    return old;
}

void NetBuffer::release()
{
    if (!m_storage)
        return;
    std::free(m_storage);
    m_storage = nullptr;
    m_body = nullptr;
    m_front = m_size = m_capacity = m_readPos = m_writePos = 0;
}

void NetBuffer::reset()
{
    if (m_storage) {
        m_body = m_storage + kHeadroom;
        m_capacity += m_front;
    }
    m_front = m_size = m_readPos = m_writePos = 0;
}

void NetBuffer::discardFront(std::uint64_t count)
{
    if (count > m_size)
        count = m_size;
    if (count == 0)
        return;
    m_body += count;
    m_front += count;
    m_capacity -= count;
    m_size -= count;
    m_readPos = m_readPos > count ? m_readPos - count : 0;
    m_writePos = m_writePos > count ? m_writePos - count : 0;
}

FF::byte* NetBuffer::putHeader(std::uint64_t header)
{
    if (!m_storage)
        return nullptr;
    FF::byte* frame = m_body - kHeadroom;
    for (int i = 0; i < 8; ++i)
        frame[i] = static_cast<FF::byte>(header >> (8 * i));
    return frame;
}

} // namespace Net
} // namespace FF
