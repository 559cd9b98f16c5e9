#include "framework/net/tcpsocket.h"

#include "framework/net/exception.h"
#include "framework/net/netconstants.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace FF {
namespace Net {

TCPSocket& TCPSocket::Instance()
{
    // POSIX sockets need no process-wide start-up.
    static TCPSocket instance;
    return instance;
}

TCPSocket::Socket TCPSocket::createClient(const Address& address, unsigned int port, unsigned int receiveTimeoutMs)
{
    const Socket socket = platform::openTcpSocket();
    if (socket == platform::kInvalidSocket)
        throw Exception("TCPSocket.createClient", "socket create failed");
    if (platform::connectWithin(socket, address.bytes(), static_cast<std::uint16_t>(port), kConnectTimeoutMs) != 0) {
        platform::closeSocket(socket);
        throw Exception("TCPSocket.createClient", "connect failed");
    }
    if (!platform::setRecvTimeout(socket, receiveTimeoutMs)) {
        platform::closeSocket(socket);
        throw Exception("TCPSocket.createClient", "recv timeOut set failed");
    }
    return socket;
}

bool TCPSocket::checkConnection(const Address& address, unsigned int port, unsigned int windowMs)
{
    const Socket socket = platform::openTcpSocket();
    if (socket == platform::kInvalidSocket)
        return false;
    // A socket still connecting would also report the receive time-out, so
    // the 10 ms receive rule starts only once the connection stands.
    int error = platform::startConnect(socket, address.bytes(), static_cast<std::uint16_t>(port));
    if (error == EINPROGRESS)
        error = platform::waitConnected(socket, windowMs);
    bool reachable = false;
    if (error == 0 && platform::setBlocking(socket, true)
        && platform::setRecvTimeout(socket, kProbeRecvTimeoutMs)) {
        // Connected: a byte, or 10 ms of silence, means a live service; a
        // close or a reset at once means nothing listens there for us.
        char byte = 0;
        const platform::ReceiveResult result = platform::receiveSome(socket, &byte, 1);
        reachable = result.status == platform::ReceiveStatus::Data
                 || result.status == platform::ReceiveStatus::NoData;
    }
    platform::closeSocket(socket);
    return reachable;
}

std::uint64_t TCPSocket::__Encode(std::uint64_t length)
{
    if (length > kFrameLengthMask)
        throw Exception("TCPSocket.__Encode", "too large");
    return length | ((length % kFrameCheckModulus) << kFrameCheckShift);
}

bool TCPSocket::decodeHeader(std::uint64_t header, std::uint64_t& length)
{
    const std::uint64_t check = header >> kFrameCheckShift;
    const std::uint64_t body = header & kFrameLengthMask;
    if (body % kFrameCheckModulus != check || body > kMaxReceiveBody)
        return false;
    length = body;
    return true;
}

std::uint64_t TCPSocket::__Decode(std::uint64_t header, IReceiveControl& connection)
{
    std::uint64_t length = 0;
    if (decodeHeader(header, length))
        return length;
    connection.markStopped();
    std::printf("ic: %s\n", connection.peerAddress().toString().c_str());
    std::fflush(stdout);
    throw Exception("TCPSocket.__Decode", "illegal connection");
}

bool TCPSocket::sendMessage(Socket socket, NetBuffer& buffer)
{
    const std::uint64_t total = buffer.framedSize();
    if (total == 0)
        return false;
    if (total >= kMaxSendFrame)
        throw Exception("TCPSocket.sendMessage", "too large");
    const FF::byte* frame = buffer.putHeader(__Encode(total - kFrameHeaderSize));
    return platform::sendAll(socket, frame, static_cast<std::size_t>(total));
}

bool TCPSocket::recvAll(Socket socket, FF::byte* bytes, std::uint64_t count, IReceiveControl& connection)
{
    std::uint64_t done = 0;
    while (done < count) {
        const platform::ReceiveResult result =
            platform::receiveSome(socket, bytes + done, static_cast<std::size_t>(count - done));
        switch (result.status) {
        case platform::ReceiveStatus::Data:
            done += result.bytes;
            break;
        case platform::ReceiveStatus::NoData:
            break;
        case platform::ReceiveStatus::Closed:
        case platform::ReceiveStatus::Failed:
            connection.markStopped();
            break;
        }
        if (!connection.afterReceive(result.bytes))
            return done == count;
    }
    return true;
}

bool TCPSocket::receiveMessage(Socket socket, NetBuffer& buffer, IReceiveControl& connection)
{
    FF::byte header[kFrameHeaderSize];
    if (!recvAll(socket, header, kFrameHeaderSize, connection))
        return false;
    std::uint64_t word = 0;
    for (std::uint64_t i = 0; i < kFrameHeaderSize; ++i)
        word |= static_cast<std::uint64_t>(header[i]) << (8 * i);
    const std::uint64_t length = __Decode(word, connection);

    // The block grows with the bytes that arrived (doubling, capped at the
    // announced length), so a lying header costs at most one chunk.
    const std::uint64_t base = buffer.writePos();
    const std::uint64_t total = base + length;
    std::uint64_t filled = base;
    std::uint64_t capacity = std::min(total, base + kReceiveChunk);
    if (capacity == 0) {
        buffer.reset();
        return true;
    }
    buffer.resize(capacity);
    while (filled < total) {
        if (filled == capacity) {
            capacity = std::min(total, capacity * 2);
            buffer.resize(capacity);
        }
        if (!recvAll(socket, buffer.data() + filled, capacity - filled, connection))
            return false;
        filled = capacity;
    }
    buffer.setReadPos(0);
    buffer.setWritePos(total);
    return true;
}

bool TCPSocket::setRecvTimeout(Socket socket, unsigned int ms)
{
    return platform::setRecvTimeout(socket, ms);
}

bool TCPSocket::setBlocking(Socket socket, bool blocking)
{
    return platform::setBlocking(socket, blocking);
}

void TCPSocket::shutdownSend(Socket socket)
{
    platform::shutdownSend(socket);
}

void TCPSocket::closeSocket(Socket socket)
{
    platform::closeSocket(socket);
}

Address TCPSocket::localAddress(Socket socket)
{
    std::uint8_t bytes[4] = {0, 0, 0, 0};
    std::uint16_t port = 0;
    if (!platform::localName(socket, bytes, &port))
        return Address();
    return Address(bytes, port);
}

} // namespace Net
} // namespace FF
