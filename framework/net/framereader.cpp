#include "framework/net/framereader.h"

#include "framework/net/tcpsocket.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace FF {
namespace Net {

namespace {

// The header must be at least this big a block, or no frame could be cut.
constexpr std::size_t kMinReadAhead = 64;

} // namespace

FrameReader::FrameReader(std::size_t readAheadSize)
    : m_capacity(std::max(readAheadSize, kMinReadAhead))
    , m_bytes(new FF::byte[m_capacity])
{
}

void FrameReader::compact()
{
    if (m_begin == 0)
        return;
    std::memmove(m_bytes.get(), m_bytes.get() + m_begin, m_end - m_begin);
    m_end -= m_begin;
    m_begin = 0;
}

void FrameReader::startLarge(std::uint64_t length)
{
    m_begin += kFrameHeaderSize;
    const std::size_t have = m_end - m_begin;
    // The block grows with the bytes that arrived (doubling, capped at the
    // announced length), so a lying header costs at most one chunk.
    const std::uint64_t capacity = std::min<std::uint64_t>(length, std::max<std::uint64_t>(kReceiveChunk, have));
    m_large.reset();
    m_large.resize(capacity);
    std::memcpy(m_large.data(), m_bytes.get() + m_begin, have);
    m_begin = m_end = 0;
    m_largeLength = length;
    m_largeFilled = have;
}

bool FrameReader::takeFrame(NetBuffer& message, IReceiveControl& connection)
{
    if (m_largeLength != 0) {
        if (m_largeFilled < m_largeLength)
            return false;
        m_large.setReadPos(0);
        m_large.setWritePos(m_largeLength);
        message = std::move(m_large);
        m_large = NetBuffer();
        m_largeLength = m_largeFilled = 0;
        return true;
    }
    if (m_end - m_begin < kFrameHeaderSize) {
        if (m_begin + kFrameHeaderSize > m_capacity)
            compact();
        return false;
    }
    std::uint64_t header = 0;
    for (std::size_t i = 0; i < kFrameHeaderSize; ++i)
        header |= static_cast<std::uint64_t>(m_bytes[m_begin + i]) << (8 * i);
    const std::uint64_t length = TCPSocket::__Decode(header, connection);
    if (length > m_capacity - kFrameHeaderSize) {
        startLarge(length);
        return false;
    }
    if (m_end - m_begin < kFrameHeaderSize + length) {
        if (m_begin + kFrameHeaderSize + length > m_capacity)
            compact();
        return false;
    }
    message.reset();
    message.write(m_bytes.get() + m_begin + kFrameHeaderSize, length);
    message.setReadPos(0);
    m_begin += static_cast<std::size_t>(kFrameHeaderSize + length);
    if (m_begin == m_end)
        m_begin = m_end = 0;
    return true;
}

platform::ReceiveResult FrameReader::receiveOnce(platform::SocketHandle socket, bool wait)
{
    const auto receive = wait ? platform::receiveSome : platform::receiveNow;
    if (m_largeLength != 0) {
        std::uint64_t capacity = m_large.size();
        if (m_largeFilled == capacity) {
            capacity = std::min(m_largeLength, capacity * 2);
            // resize keeps the bytes and moves both positions to 0.
            m_large.resize(capacity);
        }
        const platform::ReceiveResult result = receive(socket, m_large.data() + m_largeFilled,
                                                       static_cast<std::size_t>(capacity - m_largeFilled));
        if (result.status == platform::ReceiveStatus::Data)
            m_largeFilled += result.bytes;
        return result;
    }
    if (m_end == m_capacity)
        compact();
    const platform::ReceiveResult result = receive(socket, m_bytes.get() + m_end, m_capacity - m_end);
    if (result.status == platform::ReceiveStatus::Data)
        m_end += result.bytes;
    return result;
}

bool FrameReader::receiveMessage(platform::SocketHandle socket, NetBuffer& message, IReceiveControl& connection)
{
    for (;;) {
        if (takeFrame(message, connection))
            return true;
        const platform::ReceiveResult result = receiveOnce(socket, true);
        if (result.status == platform::ReceiveStatus::Closed || result.status == platform::ReceiveStatus::Failed)
            connection.markStopped();
        // A frame made whole by the last bytes is handed out even when the
        // connection stops with them.
        if (!connection.afterReceive(result.bytes) && !(m_largeLength != 0 && m_largeFilled == m_largeLength))
            return false;
    }
}

} // namespace Net
} // namespace FF
