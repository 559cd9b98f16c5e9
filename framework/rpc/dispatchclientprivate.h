#pragma once

// The dispatch client's state machine; it handles the events of its current
// connection on that connection's receive thread. Its lock guards its own
// fields only: it is never held while a handler runs.

#include "framework/net/address.h"
#include "framework/net/iconnectable.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/rpcconstants.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace FF {
namespace utils {
class IBuffer;
} // namespace utils
namespace Net {
class IClient;
class IClientFactory;
class NetBuffer;
} // namespace Net

namespace RPC {

class IDispatchHandler;

class __DispatchClient : private FF::Net::IConnectable {
public:
    __DispatchClient(const FF::Net::Address& address, FF::Net::IClientFactory* factory);
    ~__DispatchClient() override;

    void setRetryMaxTimes(unsigned int times)
    {
        m_retryMax = static_cast<int>(times);
        notifyWaiters(); // 0 ends a reconnect delay under way
    }
    void stop();
    void breakConnection();
    // True once nothing runs in this client any more: no reconnection under
    // way, no handler being told of the end on a thread of this client's,
    // every connection's receive thread ended and no caller reading it.
    // Never waits (false when the lock is held).
    bool quiet() const;
    bool online() const { return m_state != StateOffline; }
    int state() const { return m_state; }

    void registerHandler(std::shared_ptr<IDispatchHandler> handler);
    void unregisterHandler(IDispatchHandler* handler);
    DispatchClient::SendOutcome send(FF::Net::NetBuffer& message, std::uint64_t deadlineMs);
    std::shared_ptr<FF::Net::IClient> readingClient() const;

private:
    void onReceived(FF::Net::ISession* session) override;
    // Call replies that a waiting caller read are routed on its thread; the
    // rest goes to the receive thread.
    bool onReceivedAside(FF::Net::ISession* session) override;
    void onTick(FF::Net::IConnection* connection) override;
    void onDisconnected(FF::Net::IConnection* connection) override;

    void start(FF::Net::IClient& client);
    void requestInit();
    void reconnect();
    void giveUp();
    // Offline for good, with no connection made any more: the first half of
    // stop() and the whole of breakConnection(). The handlers not told yet
    // are told each on a short-lived thread of this object's own (a handler
    // that does not return must not hold up the caller nor the others); the
    // connections are left to the caller.
    void goOffline();
    void closeRetired();
    // Closes a connection that is no longer the current one; one whose
    // receive thread the close left running is kept with this object.
    void closeReplaced(std::shared_ptr<FF::Net::IClient> replaced);
    // A call reply, read up to its call number, to its handler (if any).
    void routeReply(FF::utils::IBuffer* message, std::uint32_t handlerId, std::uint32_t callNumber);
    std::shared_ptr<FF::Net::IClient> currentClient() const;
    // The handler registered under id, shared for the call about to be made.
    std::shared_ptr<IDispatchHandler> handlerFor(std::uint32_t id) const;
    // Calls each handler registered now that is still registered when its
    // turn comes, with the lock released.
    template <class Call>
    void forEachHandler(Call call);
    // Tells each handler that was not told yet that this client gave up; on
    // whichever threads give up at once, each handler once.
    void tellDisconnected();
    // After m_state, m_retryMax, m_reconnecting or m_telling changed: wakes
    // the waits on them (the init reply, the reconnect delay, stop()).
    void notifyWaiters();
    // Until done() or ms passed; true when done().
    template <class Done>
    bool waitFor(std::uint64_t ms, Done done);

    struct Registered {
        std::shared_ptr<IDispatchHandler> handler;
        bool told = false; // of the client's giving up
    };

    const std::uint64_t m_pingInterval = kPingIntervalMs;
    std::atomic<int> m_retriesLeft{0};
    const std::uint64_t m_reconnectDelay = kReconnectDelayMs;
    std::atomic<int> m_retryMax{kDefaultRetryMax};
    // Changed under m_lock only, so that a change decided on what it read
    // there cannot undo a stop's; read without it only as a snapshot
    // (online(), state(), quiet() and the waits).
    std::atomic<int> m_state{StateInitializing};
    std::atomic<int> m_reconnecting{0};          // reconnection loops under way
    std::atomic<int> m_telling{0};               // threads of ours telling handlers of the end
    bool m_stopped = false;                      // under m_lock: stop() ran
    bool m_noConnections = false;                // under m_lock: no connection is made any more
    FF::Net::Address m_localAddress;             // under m_lock
    std::string m_clientKey;                     // under m_lock
    std::shared_ptr<FF::Net::IClient> m_client;  // under m_lock
    std::shared_ptr<FF::Net::IClient> m_retired; // under m_lock
    // Replaced connections whose close left their receive thread running:
    // that thread still calls this object, which must outlive it.
    std::vector<std::shared_ptr<FF::Net::IClient>> m_leftRunning; // under m_lock
    std::shared_ptr<FF::Net::IClientFactory> m_factory;
    mutable std::shared_mutex m_lock;
    std::unordered_map<std::uint32_t, Registered> m_handlers; // under m_lock
    // The threads that told the handlers of a stop or a break, one for each
    // handler registered then; joined when this object goes, by then ended
    // (see quiet()).
    std::vector<std::thread> m_tellers; // under m_lock
    std::mutex m_waitLock;
    std::condition_variable m_waitChanged; // under m_waitLock
};

} // namespace RPC
} // namespace FF
