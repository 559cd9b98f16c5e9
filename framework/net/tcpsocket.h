#pragma once

// The framework's thin layer over the socket calls: client sockets, the
// reachability probe, and whole frames (8-byte header + body) over a stream.

#include "framework/net/address.h"
#include "framework/net/ireceivecontrol.h"
#include "framework/net/netbuffer.h"
#include "platform/socket/posixsocket.h"

#include <atomic>
#include <cstdint>

namespace FF {
namespace Net {

class TCPSocket {
public:
    using Socket = platform::SocketHandle;

    // How a frame sent with sendFrame ended.
    enum class FrameSent {
        Whole,      // every byte left
        Failed,     // the connection failed or was given up (empty buffers too)
        NotStarted, // no room by startBy: nothing left, the stream is still framed
        Cut         // no room by finishBy with part of the frame gone: the stream is no longer framed
    };

    static TCPSocket& Instance();

    // A connected blocking socket with the given receive time-out; the
    // connect gives up after 5000 ms. Throws "TCPSocket.createClient".
    Socket createClient(const Address& address, unsigned int port, unsigned int receiveTimeoutMs);
    // True when a service accepts on address:port and then sends, or stays
    // silent for 10 ms; false when it closes at once, or when the window
    // passed without that (a refused or failed connect is tried again, 10 ms
    // apart, until the window has passed). Never throws.
    bool checkConnection(const Address& address, unsigned int port, unsigned int windowMs);

    // Sends the buffer as one frame, header in its headroom, waiting for room
    // as long as it takes. False for an empty buffer or a failed send; throws
    // "too large" from 2^31 bytes.
    bool sendMessage(Socket socket, NetBuffer& buffer);
    // The same frame, bounded: the first byte must leave by startBy and the
    // last by finishBy (monotonic ms; kNoDeadline for none). The socket is
    // never left blocking the caller: it waits for room in steps, and gives
    // up as Failed once *abandon turns true (null: never). Room that opens
    // for a frame already under way shows a peer that is taking its bytes:
    // it sets *idle (null: none) to 0, so that a large frame moving slowly
    // is not taken for a dead link.
    FrameSent sendFrame(Socket socket, NetBuffer& buffer, std::uint64_t startBy, std::uint64_t finishBy,
                        const std::atomic<bool>* abandon, std::atomic<std::uint64_t>* idle = nullptr);

    // Header for a body of length bytes; throws "too large" from 2^57.
    static std::uint64_t __Encode(std::uint64_t length);
    // The body length of a header. A header whose check bits disagree, or
    // whose body exceeds 64 MiB, marks the connection stopped, prints the
    // peer and throws ("TCPSocket.__Decode", "illegal connection").
    static std::uint64_t __Decode(std::uint64_t header, IReceiveControl& connection);
    // The pure check behind __Decode: false for an illegal header.
    static bool decodeHeader(std::uint64_t header, std::uint64_t& length);

    bool setRecvTimeout(Socket socket, unsigned int ms);
    bool setBlocking(Socket socket, bool blocking);
    void shutdownSend(Socket socket);
    void closeSocket(Socket socket);
    Address localAddress(Socket socket);

private:
    TCPSocket() = default;
    // One connect attempt of the probe: 1 reachable, 0 not reachable, -1 undecided.
    int probeOnce(const Address& address, unsigned int port, std::uint64_t deadline);
};

} // namespace Net
} // namespace FF
