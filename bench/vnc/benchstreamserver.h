#pragma once

// A plain RFB 3.3 server on 127.0.0.1 for the VNC benches: it greets, asks
// for no security, announces a frame buffer and then serves FramebufferUpdate
// messages held in memory. Plain blocking sockets in a thread of the bench's
// own, so that none of its work lands on the measured side.

#include "platform/fd/uniquefd.h"

#include <QByteArray>
#include <QSize>
#include <QtGlobal>

namespace Bench {

class StreamServer {
public:
    StreamServer(); // listens on an ephemeral port
    ~StreamServer();
    StreamServer(const StreamServer&) = delete;
    StreamServer& operator=(const StreamServer&) = delete;

    bool listening() const { return m_fd.valid(); }
    quint16 port() const { return m_port; }
    // The next client's connection; none when no client came within the time.
    platform::UniqueFd accept(int timeoutMs);

    // Greeting (RFB 3.3), security None, ClientInit, ServerInit with the
    // size and the 16-byte pixel format.
    static bool handshake(int fd, const QSize& size, const QByteArray& pixelFormat);
    static bool sendAll(int fd, const QByteArray& bytes);
    static bool receiveAll(int fd, char* to, qint64 count);
    // One whole client message (type first); false when the client is gone
    // or sent something that is no client message.
    static bool readClientMessage(int fd, QByteArray& message);

private:
    platform::UniqueFd m_fd;
    quint16 m_port = 0;
};

} // namespace Bench
