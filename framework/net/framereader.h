#pragma once

// Gathers whole frames from a stream: one receive takes whatever has arrived
// into a block the reader keeps, and every whole frame already there is cut
// out of it without another call. A frame too large for the block is read
// straight into its message, which grows with the bytes that arrived.

#include "framework/net/ireceivecontrol.h"
#include "framework/net/netbuffer.h"
#include "framework/net/netconstants.h"
#include "platform/socket/posixsocket.h"

#include <cstddef>
#include <memory>

namespace FF {
namespace Net {

class FrameReader {
public:
    explicit FrameReader(std::size_t readAheadSize = kReadAheadSize);

    // The body of the next frame into message (its block reused; read
    // position 0). Every receive call is followed by the connection's
    // activity step; false once that step says stop before the frame was
    // whole. A header whose check bits disagree, or that announces more than
    // 64 MiB, marks the connection stopped and throws ("TCPSocket.__Decode",
    // "illegal connection").
    bool receiveMessage(platform::SocketHandle socket, NetBuffer& message, IReceiveControl& connection);

    // Bytes received but not yet handed out.
    std::size_t buffered() const { return m_end - m_begin; }

private:
    // One receive call into the free end of the block.
    bool fill(platform::SocketHandle socket, IReceiveControl& connection);
    // Moves the buffered bytes to the start of the block.
    void compact();
    bool receiveLarge(platform::SocketHandle socket, NetBuffer& message, IReceiveControl& connection,
                      std::uint64_t length);

    const std::size_t m_capacity;
    std::unique_ptr<FF::byte[]> m_bytes;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
};

} // namespace Net
} // namespace FF
