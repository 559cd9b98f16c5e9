#include "framework/net/framereader.h"

#include "framework/net/tcpsocket.h"

#include <algorithm>
#include <cstring>

namespace FF {
namespace Net {

namespace {

// The header must be at least this big a block, or no frame could be cut.
constexpr std::size_t kMinReadAhead = 64;

bool step(const platform::ReceiveResult& result, IReceiveControl& connection)
{
    if (result.status == platform::ReceiveStatus::Closed || result.status == platform::ReceiveStatus::Failed)
        connection.markStopped();
    return connection.afterReceive(result.bytes);
}

} // namespace

FrameReader::FrameReader(std::size_t readAheadSize)
    : m_capacity(std::max(readAheadSize, kMinReadAhead))
    , m_bytes(new FF::byte[m_capacity])
{
}

bool FrameReader::fill(platform::SocketHandle socket, IReceiveControl& connection)
{
    const platform::ReceiveResult result = platform::receiveSome(socket, m_bytes.get() + m_end, m_capacity - m_end);
    if (result.status == platform::ReceiveStatus::Data)
        m_end += result.bytes;
    return step(result, connection);
}

void FrameReader::compact()
{
    if (m_begin == 0)
        return;
    std::memmove(m_bytes.get(), m_bytes.get() + m_begin, buffered());
    m_end -= m_begin;
    m_begin = 0;
}

bool FrameReader::receiveMessage(platform::SocketHandle socket, NetBuffer& message, IReceiveControl& connection)
{
    for (;;) {
        if (buffered() >= kFrameHeaderSize) {
            std::uint64_t header = 0;
            for (std::size_t i = 0; i < kFrameHeaderSize; ++i)
                header |= static_cast<std::uint64_t>(m_bytes[m_begin + i]) << (8 * i);
            const std::uint64_t length = TCPSocket::__Decode(header, connection);
            if (length > m_capacity - kFrameHeaderSize)
                return receiveLarge(socket, message, connection, length);
            if (buffered() >= kFrameHeaderSize + length) {
                message.reset();
                message.write(m_bytes.get() + m_begin + kFrameHeaderSize, length);
                message.setReadPos(0);
                m_begin += static_cast<std::size_t>(kFrameHeaderSize + length);
                if (m_begin == m_end)
                    m_begin = m_end = 0;
                return true;
            }
            if (m_begin + kFrameHeaderSize + length > m_capacity)
                compact();
        } else if (m_begin + kFrameHeaderSize > m_capacity) {
            compact();
        }
        if (!fill(socket, connection))
            return false;
    }
}

bool FrameReader::receiveLarge(platform::SocketHandle socket, NetBuffer& message, IReceiveControl& connection,
                               std::uint64_t length)
{
    m_begin += kFrameHeaderSize;
    const std::size_t have = buffered();
    // The block grows with the bytes that arrived (doubling, capped at the
    // announced length), so a lying header costs at most one chunk.
    std::uint64_t capacity = std::min<std::uint64_t>(length, std::max<std::uint64_t>(kReceiveChunk, have));
    message.reset();
    message.resize(capacity);
    std::memcpy(message.data(), m_bytes.get() + m_begin, have);
    m_begin = m_end = 0;
    std::uint64_t filled = have;
    while (filled < length) {
        if (filled == capacity) {
            capacity = std::min(length, capacity * 2);
            message.resize(capacity);
        }
        const platform::ReceiveResult result = platform::receiveSome(socket, message.data() + filled,
                                                                     static_cast<std::size_t>(capacity - filled));
        if (result.status == platform::ReceiveStatus::Data)
            filled += result.bytes;
        if (!step(result, connection) && filled < length)
            return false;
    }
    message.setReadPos(0);
    message.setWritePos(length);
    return true;
}

} // namespace Net
} // namespace FF
