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
    // sends the init request and waits at most 6000 ms for the reply.
    // Throws the connect exceptions or ("DispatchClient.DispatchClient",
    // "request init failed"); no thread survives a failed construction.
    DispatchClient(const FF::Net::Address& address, FF::Net::IClientFactory* factory);
    // Stops first when still running. What the stop left running keeps the
    // client's implementation (FF::utils::LeftRunning) until it has ended.
    ~DispatchClient();
    DispatchClient(const DispatchClient&) = delete;
    DispatchClient& operator=(const DispatchClient&) = delete;

    // Reconnection attempts after a break; 0 disables reconnection.
    void setRetryMaxTimes(unsigned int times);
    // Goes offline at once (every waiting call ends as
    // "ConnectionInterrupted"; callable from any thread but the client's
    // receive threads), ends reconnection (an attempt under way starts no
    // connection) and closes the connections with their receive threads
    // joined; each wait has its limit, and what runs past it is logged.
    void stop();
    // True unless offline (so also while reconnecting).
    bool online() const;
    // 0 initializing, 1 online, 2 offline, 3 reconnecting.
    int state() const;

    // For the call proxies.
    void registerHandler(IDispatchHandler* handler);
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
