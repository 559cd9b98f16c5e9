#pragma once

// One received message on its way to the handler, with the connection it
// came on for answers.

#include "framework/net/isession.h"
#include "framework/net/netbuffer.h"

namespace FF {
namespace Net {

class TCPConnection;

class TCPSession : public ISession {
public:
    // Takes the message over (moved, not copied) and counts itself on the connection.
    TCPSession(NetBuffer&& message, TCPConnection* connection);
    ~TCPSession() override;

    bool send(NetBuffer& buffer) override;
    void closeNow() override;
    void close() override;
    FF::utils::IBuffer* buffer() override { return &m_message; }
    Address peerAddress() override;
    // Calls the handler's onReceived (its exceptions swallowed) once.
    int dispatch() override;
    // Hands the message block back (the handler may have swapped in another).
    NetBuffer takeMessage() { return std::move(m_message); }

private:
    NetBuffer m_message;
    TCPConnection* m_connection;
    bool m_counted = true;
};

} // namespace Net
} // namespace FF
