#pragma once

// A TCP client that owns one framed connection and its receive thread, the
// factory that makes such clients, and the reachability probe.

#include "framework/net/iclient.h"
#include "framework/net/iclientfactory.h"

#include <memory>

namespace FF {
namespace Net {

class TCPConnection;

class TCPClient final : public IClient {
public:
    // Connects (within kConnectTimeoutMs) with a receive time-out of
    // kClientRecvTimeoutMs (netconstants.h); throws the
    // "TCPSocket.createClient" exceptions.
    explicit TCPClient(const Address& address);
    // Closes first when still running. A receive thread that the close left
    // running keeps the connection (FF::utils::LeftRunning) until it has ended;
    // it calls the handler no more.
    ~TCPClient() override;

    // A new factory of TCP clients, owned by the caller.
    static IClientFactory* NewFactory();
    // True when a service accepts on address and stays, decided within windowMs.
    static bool CheckConnection(const Address& address, unsigned int windowMs);

    // Throws ("TCPConnection.connect", "host not setted") without a handler.
    void connect() override;
    // Graceful close; the peer's close is waited for until kCloseIdleLimitMs
    // of silence, or kCloseWaitLimitMs however the peer keeps talking; then
    // the receive thread is joined and callers reading aside are let go,
    // within kCloseEndLimitMs more (netconstants.h). A handler that keeps
    // either longer is logged and left running, cut off from the handler:
    // once close() (or the destructor) has returned, no callback starts on
    // any thread, and the handler may be deleted. Only a callback that a
    // thread left running is still inside goes on, and returns to no other
    // (a handler blocked there must not touch what its owner frees). Never
    // call it on the receive thread.
    void close() override;
    // A break at once (TCPConnection::closeNow); never waits.
    void closeNow() override;
    void setHandler(IConnectable* handler) override;
    void setTickInterval(std::uint64_t ms) override;
    void setUserValue(std::uint32_t value) override;
    bool send(NetBuffer& buffer) override;
    // A frame that cannot start by the deadline is not sent (TimedOut); one
    // cut short by it breaks the connection, since the stream is no longer framed.
    SendResult sendBefore(NetBuffer& buffer, std::uint64_t deadlineMs) override;
    bool isReliable() override { return true; }
    bool isRunning() override;
    Address peerAddress() override;
    Address localAddress() override;
    bool isQuiet() override;
    AsideRead readAside(std::uint32_t waitMs, const std::function<bool()>& waiting = {}) override;
    bool awaitReader() override;
    void endAwait() override;

    TCPConnection* connection() { return m_connection.get(); }

private:
    std::unique_ptr<TCPConnection> m_connection;
    bool m_closed = false; // the owner's alone
};

} // namespace Net
} // namespace FF
