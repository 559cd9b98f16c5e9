// The framework's thin layer over the socket calls: client sockets, the
// reachability probe, and whole frames (8-byte header + body) over a stream.
#pragma once

#include "framework/net/address.h"
#include "framework/net/ireceivecontrol.h"
#include "framework/net/netbuffer.h"
#include "platform/socket/posixsocket.h"

#include <cstdint>

namespace FF {
namespace Net {

class TCPSocket {
public:
    using Socket = platform::SocketHandle;

    static TCPSocket& Instance();

    // A connected blocking socket with the given receive time-out; the
    // connect gives up after 5000 ms. Throws "TCPSocket.createClient".
    Socket createClient(const Address& address, unsigned int port, unsigned int receiveTimeoutMs);
    // True when a service accepts on address:port and neither closes nor
    // resets the connection at once, decided within windowMs. Never throws.
    bool checkConnection(const Address& address, unsigned int port, unsigned int windowMs);

    // Sends the buffer as one frame, header in its headroom. False for an
    // empty buffer or a failed send; throws "too large" from 2^31 bytes.
    bool sendMessage(Socket socket, NetBuffer& buffer);
    // Receives one whole frame into buffer (read position 0). False when
    // the connection stopped first; throws "illegal connection" on a bad header.
    bool receiveMessage(Socket socket, NetBuffer& buffer, IReceiveControl& connection);

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
    bool recvAll(Socket socket, FF::byte* bytes, std::uint64_t count, IReceiveControl& connection);
};

} // namespace Net
} // namespace FF
