#pragma once

// The framework's socket calls over POSIX sockets: opening, connecting with a
// time-out, receive time-outs, sends that never block and never raise SIGPIPE,
// and receives that tell "no data yet" apart from a closed or failed connection.

#include <cstddef>
#include <cstdint>

namespace platform {

using SocketHandle = int;
constexpr SocketHandle kInvalidSocket = -1;

// How one receive call ended.
enum class ReceiveStatus {
    Data,   // bytes arrived
    NoData, // the receive time-out passed or a signal interrupted the call
    Closed, // the peer closed its sending side
    Failed  // the connection broke (reset, or any other error)
};

struct ReceiveResult {
    ReceiveStatus status = ReceiveStatus::Failed;
    std::size_t bytes = 0;
    int error = 0; // errno for Failed
};

// How one send call ended.
enum class SendStatus {
    Sent,       // the socket took bytes (perhaps not all of them)
    WouldBlock, // the socket has no room now
    Failed      // the connection broke or was shut down for sending
};

struct SendResult {
    SendStatus status = SendStatus::Failed;
    std::size_t bytes = 0;
    int error = 0; // errno for Failed
};

// A blocking IPv4 TCP socket (close-on-exec), or kInvalidSocket.
SocketHandle openTcpSocket();

// Starts a non-blocking connect to ip (four bytes in text order) and port.
// Returns 0 when connected at once, EINPROGRESS when under way, or the error.
int startConnect(SocketHandle socket, const std::uint8_t ip[4], std::uint16_t port);

// Waits until a started connect ends, at most timeoutMs. Returns 0 when
// connected, ETIMEDOUT when the time passed, or the connect error.
int waitConnected(SocketHandle socket, std::uint32_t timeoutMs);

// Connects a blocking socket within timeoutMs; the socket is blocking again
// afterwards. Returns 0 or the error.
int connectWithin(SocketHandle socket, const std::uint8_t ip[4], std::uint16_t port, std::uint32_t timeoutMs);

bool setBlocking(SocketHandle socket, bool blocking);
bool setRecvTimeout(SocketHandle socket, std::uint32_t ms);
bool shutdownSend(SocketHandle socket);
void closeSocket(SocketHandle socket);

// The socket's own address: four bytes in network order and the port in host order.
bool localName(SocketHandle socket, std::uint8_t ip[4], std::uint16_t* port);

// One send call that never blocks, whatever the socket's mode, and never
// raises SIGPIPE: the socket takes what it has room for now.
SendResult sendSome(SocketHandle socket, const void* bytes, std::size_t count);

// Waits at most timeoutMs until the socket has room to send (or an error
// that the next send reports). False when the time passed first.
bool waitWritable(SocketHandle socket, std::uint32_t timeoutMs);

// One receive call of at most count bytes.
ReceiveResult receiveSome(SocketHandle socket, void* out, std::size_t count);

// The same receive call, never waiting whatever the socket's mode: NoData
// when nothing has arrived.
ReceiveResult receiveNow(SocketHandle socket, void* out, std::size_t count);

// What waitForInput found ready.
enum InputReady : unsigned {
    kSocketReady = 1, // bytes, the end of the stream or an error to receive
    kWakeReady = 2    // the wake-up descriptor was signalled
};

// Waits at most timeoutMs until socket has something to receive or wakeFd
// is readable; either may be -1 (not waited for). Returns the InputReady
// bits, 0 when the time passed (or a signal interrupted the wait).
unsigned waitForInput(SocketHandle socket, int wakeFd, std::uint32_t timeoutMs);

} // namespace platform
