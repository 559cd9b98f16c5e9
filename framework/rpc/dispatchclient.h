// One RPC connection to one panel service: the init handshake, pings,
// routing of replies to the call proxies, reconnection with re-init.
#pragma once

#include "framework/net/address.h"

#include <memory>

namespace FF {
namespace Net {
class IClientFactory;
class NetBuffer;
} // namespace Net

namespace RPC {

class IDispatchHandler;
class __DispatchClient;

class DispatchClient {
public:
    // Connects through factory (owned from here on, even when this throws),
    // sends the init request and waits at most 6000 ms for the reply.
    // Throws the connect exceptions or ("DispatchClient.DispatchClient",
    // "request init failed"); no thread survives a failed construction.
    DispatchClient(const FF::Net::Address& address, FF::Net::IClientFactory* factory);
    // Stops first when still running.
    ~DispatchClient();
    DispatchClient(const DispatchClient&) = delete;
    DispatchClient& operator=(const DispatchClient&) = delete;

    // Reconnection attempts after a break; 0 disables reconnection.
    void setRetryMaxTimes(unsigned int times);
    // Ends reconnection after the attempt under way, closes the connection
    // (its receive thread joined) and goes offline.
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

private:
    std::unique_ptr<__DispatchClient> m_impl;
};

} // namespace RPC
} // namespace FF
