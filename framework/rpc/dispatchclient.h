#pragma once

// One RPC connection to one panel service: the init handshake, pings,
// routing of replies to the call proxies, reconnection with re-init.

#include "framework/net/address.h"

#include <cstdint>
#include <memory>

namespace FF {
namespace Net {
class IClient;
class IClientFactory;
class NetBuffer;
} // namespace Net

namespace RPC {

class IDispatchHandler;
class __DispatchClient;

class DispatchClient {
public:
    // How a call's request was taken.
    enum class SendOutcome {
        Accepted, // sent, or held for the connection being remade (the call waits)
        Offline,  // the client gave up: nothing was sent
        TimedOut  // the request could not leave by its deadline (a request cut
                  // short also broke the connection, which is then remade or given up)
    };

    // Connects through factory (owned from here on, even when this throws),
    // sends the init request and waits at most kInitWaitMs (rpcconstants.h)
    // for the reply.
    // Throws the connect exceptions or ("DispatchClient.DispatchClient",
    // "request init failed"); no thread survives a failed construction.
    DispatchClient(const FF::Net::Address& address, FF::Net::IClientFactory* factory);
    // Stops first when still running (within stop()'s limits). What the stop
    // left running keeps the client's implementation (FF::utils::LeftRunning)
    // until it has ended.
    ~DispatchClient();
    DispatchClient(const DispatchClient&) = delete;
    DispatchClient& operator=(const DispatchClient&) = delete;

    // Reconnection attempts after a break; 0 disables reconnection.
    void setRetryMaxTimes(unsigned int times);
    // Goes offline at once and for good (every waiting call ends as
    // "ConnectionInterrupted"; callable from any thread but the client's
    // receive threads), ends reconnection (an attempt under way starts no
    // connection) and closes the connections with their receive threads
    // joined. Each wait has its limit, whatever a handler does, and what
    // runs past it is logged and left running: the close waits at most
    // FF::Net::kCloseWaitLimitMs for the peer's end and
    // FF::Net::kCloseEndLimitMs more for the receive thread and the callers
    // reading aside (a replaced connection closes beside the current one),
    // then at most kStopLoopLimitMs for a reconnection attempt and for the
    // handlers being told (FF::Net::kCloseWaitLimitMs +
    // FF::Net::kCloseEndLimitMs + kStopLoopLimitMs in all). Each handler is
    // told on a short-lived thread of its own, not the caller's; a stop()
    // called by a handler being told does not wait for its own thread.
    void stop();
    // Breaks the connection at once, from any thread, whatever state the
    // client is in: it goes offline for good, every waiting call ends as
    // "ConnectionInterrupted" at once and every later one fails ("send
    // failed"), no reconnection follows (an attempt under way starts no
    // connection) and the connections stop as a break, without waiting for
    // the peer. It never waits (each handler is told on a short-lived thread
    // of its own); stop() afterwards has nothing left to wait for but the
    // receive threads' end.
    void breakConnection();
    // True unless offline (so also while reconnecting).
    bool online() const;
    // 0 initializing, 1 online, 2 offline, 3 reconnecting.
    int state() const;

    // For the call proxies. The client shares each handler it holds: while
    // it is registered, and for each call it makes to it, so that a handler
    // is never deleted while one of its calls runs; its owner may let it go
    // whenever it likes (the last of the calls then deletes it). No lock of
    // the client is held while a handler runs: a handler may block without
    // holding up stop(), breakConnection() or any call (see IDispatchHandler).
    // Once unregisterHandler has returned, no new call of the handler starts;
    // one already under way may still run on the client's thread.
    void registerHandler(std::shared_ptr<IDispatchHandler> handler);
    void unregisterHandler(IDispatchHandler* handler);
    // Sends when online; false only when offline.
    bool send(FF::Net::NetBuffer& message);
    // The same, with the last byte to leave by deadlineMs (monotonic ms).
    SendOutcome send(FF::Net::NetBuffer& message, std::uint64_t deadlineMs);
    // The connection a waiting call may read its reply from itself
    // (IClient::readAside; replies it reads are routed as the receive thread
    // routes them), or null unless online.
    std::shared_ptr<FF::Net::IClient> readingClient() const;

private:
    std::unique_ptr<__DispatchClient> m_impl;
};

} // namespace RPC
} // namespace FF
