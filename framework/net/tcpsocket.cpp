#include "framework/net/tcpsocket.h"

#include "framework/net/exception.h"
#include "framework/net/netconstants.h"
#include "platform/clock/monotonicclock.h"
#include "platform/fd/uniquefd.h"

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
    // Closed before anything is thrown; the caller owns it once returned.
    platform::UniqueFd socket(platform::openTcpSocket());
    if (!socket)
        throw Exception("TCPSocket.createClient", "socket create failed");
    const auto portNumber = static_cast<std::uint16_t>(port);
    if (platform::connectWithin(socket.get(), address.bytes(), portNumber, kConnectTimeoutMs) != 0)
        throw Exception("TCPSocket.createClient", "connect failed");
    if (!platform::setRecvTimeout(socket.get(), receiveTimeoutMs))
        throw Exception("TCPSocket.createClient", "recv timeOut set failed");
    return socket.release();
}

int TCPSocket::probeOnce(const Address& address, unsigned int port, std::uint64_t deadline)
{
    const platform::UniqueFd owned(platform::openTcpSocket());
    if (!owned)
        return 0;
    const Socket socket = owned.get();
    int verdict = -1;
    const std::uint64_t now = platform::monotonicMs();
    // A socket still connecting would also report the receive time-out, so
    // the 10 ms receive rule starts only once the connection stands.
    int error = platform::startConnect(socket, address.bytes(), static_cast<std::uint16_t>(port));
    if (error == EINPROGRESS)
        error = platform::waitConnected(socket, static_cast<std::uint32_t>(deadline > now ? deadline - now : 0));
    if (error == 0) {
        if (!platform::setBlocking(socket, true) || !platform::setRecvTimeout(socket, kProbeRecvTimeoutMs)) {
            verdict = 0;
        } else {
            // Connected: a byte, or 10 ms of silence, means a live service; a
            // close at once means nothing serves there for us. A reset is
            // undecided, like a refusal: the service may be starting.
            char byte = 0;
            switch (platform::receiveSome(socket, &byte, 1).status) {
            case platform::ReceiveStatus::Data:
            case platform::ReceiveStatus::NoData: verdict = 1; break;
            case platform::ReceiveStatus::Closed: verdict = 0; break;
            case platform::ReceiveStatus::Failed: break;
            }
        }
    }
    return verdict;
}

bool TCPSocket::checkConnection(const Address& address, unsigned int port, unsigned int windowMs)
{
    const std::uint64_t deadline = platform::monotonicMs() + windowMs;
    for (;;) {
        const int verdict = probeOnce(address, port, deadline);
        if (verdict >= 0)
            return verdict == 1;
        // Refused (or reset): the service may come up within the window.
        const std::uint64_t now = platform::monotonicMs();
        if (now >= deadline)
            return false;
        platform::sleepMs(static_cast<std::uint32_t>(std::min<std::uint64_t>(kProbeRetryPauseMs, deadline - now)));
    }
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
    return sendFrame(socket, buffer, kNoDeadline, kNoDeadline, nullptr, nullptr) == FrameSent::Whole;
}

TCPSocket::FrameSent TCPSocket::sendFrame(Socket socket, NetBuffer& buffer, std::uint64_t startBy,
                                          std::uint64_t finishBy, const std::atomic<bool>* abandon,
                                          std::atomic<std::uint64_t>* idle)
{
    const std::uint64_t total = buffer.framedSize();
    if (total == 0)
        return FrameSent::Failed;
    if (total >= kMaxSendFrame)
        throw Exception("TCPSocket.sendMessage", "too large");
    const FF::byte* frame = buffer.putHeader(__Encode(total - kFrameHeaderSize));
    std::size_t done = 0;
    for (;;) {
        const platform::SendResult result = platform::sendSome(socket, frame + done,
                                                               static_cast<std::size_t>(total - done));
        if (result.status == platform::SendStatus::Failed)
            return FrameSent::Failed;
        if (result.status == platform::SendStatus::Sent && result.bytes > 0) {
            // Room that opened for a frame already under way was made by
            // the peer taking bytes.
            if (done > 0 && idle)
                *idle = 0;
            done += result.bytes;
            if (done == total)
                return FrameSent::Whole;
            continue;
        }
        // No room now: wait for it, in steps, until the frame's limit.
        const std::uint64_t limit = done == 0 ? startBy : finishBy;
        const std::uint64_t now = platform::monotonicMs();
        if (now >= limit)
            return done == 0 ? FrameSent::NotStarted : FrameSent::Cut;
        if (abandon && abandon->load())
            return FrameSent::Failed;
        platform::waitWritable(socket,
                               static_cast<std::uint32_t>(std::min<std::uint64_t>(limit - now, kSendWaitStepMs)));
        if (abandon && abandon->load())
            return FrameSent::Failed;
    }
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
