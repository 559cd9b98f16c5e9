#pragma once

// Gathers whole frames from a stream: one receive takes whatever has arrived
// into a block the reader keeps, and every whole frame already there is cut
// out of it without another call. A frame too large for the block is
// gathered in a message of its own, which grows with the bytes that arrived.
//
// The reader keeps everything between receive calls (a partial header, a
// partial body, a large frame under way), so that the calls may come from
// different threads in turn: whoever holds the connection's read side.

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
    // position 0), waiting for it. Every receive call is followed by the
    // connection's activity step; false once that step says stop before the
    // frame was whole. A header whose check bits disagree, or that announces
    // more than 64 MiB, marks the connection stopped and throws
    // ("TCPSocket.__Decode", "illegal connection").
    bool receiveMessage(platform::SocketHandle socket, NetBuffer& message, IReceiveControl& connection);

    // The next frame that is whole already, without a receive call: false
    // when none is. Decodes (and may throw) as receiveMessage does.
    bool takeFrame(NetBuffer& message, IReceiveControl& connection);
    // One receive call for the frame under way, into the block or into the
    // large frame being gathered; waits (within the socket's own receive
    // time-out) only when wait is true. Call takeFrame until it is false
    // first, so that the block has room.
    platform::ReceiveResult receiveOnce(platform::SocketHandle socket, bool wait);

    // Bytes received but not yet handed out.
    std::size_t buffered() const { return m_end - m_begin + static_cast<std::size_t>(m_largeFilled); }

private:
    // Moves the buffered bytes to the start of the block.
    void compact();
    // Gathers a frame too large for the block in m_large, starting with the
    // bytes of its body already buffered.
    void startLarge(std::uint64_t length);

    const std::size_t m_capacity;
    std::unique_ptr<FF::byte[]> m_bytes;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
    // A large frame under way: its body so far (m_largeLength is 0 when none).
    NetBuffer m_large;
    std::uint64_t m_largeLength = 0;
    std::uint64_t m_largeFilled = 0;
};

} // namespace Net
} // namespace FF
