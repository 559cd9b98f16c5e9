#include "framework/rpc/dispatchclientprivate.h"

#include "framework/net/exception.h"
#include "framework/net/iclient.h"
#include "framework/net/iclientfactory.h"
#include "framework/net/iconnection.h"
#include "framework/net/isession.h"
#include "framework/net/netbuffer.h"
#include "framework/rpc/idispatchhandler.h"
#include "framework/utils/ffstring.h"
#include "framework/utils/serialize.h"
#include "platform/clock/monotonicclock.h"
#include "platform/exceptionlog/exceptionlog.h"

#include <QtGlobal>

#include <algorithm>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace FF {
namespace RPC {

namespace {

using ReadLock = std::shared_lock<std::shared_mutex>;
using WriteLock = std::unique_lock<std::shared_mutex>;

// The client whose handler this thread tells of the end, on a teller thread
// of that client's (see goOffline()): a stop() called from there does not
// wait for its own thread.
thread_local const __DispatchClient* t_tellingFor = nullptr;

FF::Net::NetBuffer controlMessage(std::uint32_t type)
{
    FF::Net::NetBuffer message;
    message.write(&type, sizeof type);
    return message;
}

} // namespace

__DispatchClient::__DispatchClient(const FF::Net::Address& address, FF::Net::IClientFactory* factory)
    : m_factory(factory)
{
    m_client.reset(m_factory->create(address));
    if (!m_client->isReliable())
        throw FF::Net::Exception("DispatchClient.DispatchClient", "need reliable client");
    try {
        start(*m_client);
        requestInit();
        // Ended by the init reply, or by the connection's end (offline).
        waitFor(kInitWaitMs, [this] { return m_state != StateInitializing; });
        if (m_state != StateOnline)
            throw FF::Net::Exception("DispatchClient.DispatchClient", "request init failed");
    } catch (...) {
        // Nothing may run on the receive thread once this object is gone.
        m_retryMax = 0;
        notifyWaiters();
        m_client->close();
        throw;
    }
}

__DispatchClient::~__DispatchClient()
{
    stop();
    // Deleted only once quiet(): the threads that told the handlers have
    // returned from them, and at most leave their last lines.
    std::vector<std::thread> tellers;
    {
        WriteLock guard(m_lock);
        tellers.swap(m_tellers);
    }
    for (std::thread& teller : tellers)
        teller.join();
}

void __DispatchClient::notifyWaiters()
{
    // Taking the lock orders the change before a waiter's look at it.
    std::lock_guard<std::mutex> guard(m_waitLock);
    m_waitChanged.notify_all();
}

template <class Done>
bool __DispatchClient::waitFor(std::uint64_t ms, Done done)
{
    std::unique_lock<std::mutex> lock(m_waitLock);
    return m_waitChanged.wait_for(lock, std::chrono::milliseconds(ms), done);
}

void __DispatchClient::start(FF::Net::IClient& client)
{
    client.setHandler(this);
    client.setTickInterval(kDispatchTickMs);
    client.connect();
}

void __DispatchClient::requestInit()
{
    FF::Net::NetBuffer message = controlMessage(kMessageInit);
    if (!m_client->send(message))
        throw FF::Net::Exception("DispatchClient.requestInit", "send init data failed");
}

std::shared_ptr<FF::Net::IClient> __DispatchClient::currentClient() const
{
    ReadLock guard(m_lock);
    return m_client;
}

std::shared_ptr<IDispatchHandler> __DispatchClient::handlerFor(std::uint32_t id) const
{
    ReadLock guard(m_lock);
    auto found = m_handlers.find(id);
    return found == m_handlers.end() ? nullptr : found->second.handler;
}

template <class Call>
void __DispatchClient::forEachHandler(Call call)
{
    std::vector<std::pair<std::uint32_t, std::shared_ptr<IDispatchHandler>>> handlers;
    {
        ReadLock guard(m_lock);
        handlers.reserve(m_handlers.size());
        for (const auto& entry : m_handlers)
            handlers.emplace_back(entry.first, entry.second.handler);
    }
    // The lock is not held while a handler runs: one that blocks holds up
    // its own thread, never a stop or a call. One that was let go while an
    // earlier one ran is passed over.
    for (const auto& entry : handlers) {
        if (handlerFor(entry.first) == entry.second)
            call(entry.second.get());
    }
}

void __DispatchClient::registerHandler(std::shared_ptr<IDispatchHandler> handler)
{
    std::shared_ptr<IDispatchHandler> replaced;
    WriteLock guard(m_lock);
    Registered& entry = m_handlers[handler->handlerId()];
    replaced = std::move(entry.handler);
    entry.handler = std::move(handler);
    // A handler that comes once the client gave up is not told: its calls
    // find the client offline.
    entry.told = m_state == StateOffline;
    guard.unlock();
    // A handler let go here is deleted outside the lock.
}

void __DispatchClient::unregisterHandler(IDispatchHandler* handler)
{
    std::shared_ptr<IDispatchHandler> removed;
    WriteLock guard(m_lock);
    auto found = m_handlers.find(handler->handlerId());
    if (found != m_handlers.end() && found->second.handler.get() == handler) {
        removed = std::move(found->second.handler);
        m_handlers.erase(found);
    }
    guard.unlock();
    // Deleted outside the lock, when this was its last holder.
}

DispatchClient::SendOutcome __DispatchClient::send(FF::Net::NetBuffer& message, std::uint64_t deadlineMs)
{
    std::shared_ptr<FF::Net::IClient> client;
    int state;
    {
        ReadLock guard(m_lock);
        state = m_state;
        if (state == StateOnline)
            client = m_client;
    }
    // The send itself runs outside the lock: a send waiting for a peer that
    // is not reading must not hold up a waiting writer and, behind it, the
    // receive thread that would drain that peer. A failed send is no answer:
    // the receive side sees the break and the call waits for its end.
    if (client && client->sendBefore(message, deadlineMs) == FF::Net::SendResult::TimedOut)
        return DispatchClient::SendOutcome::TimedOut;
    return state == StateOffline ? DispatchClient::SendOutcome::Offline : DispatchClient::SendOutcome::Accepted;
}

void __DispatchClient::onReceived(FF::Net::ISession* session)
{
    FF::utils::IBuffer* message = session->buffer();
    std::uint32_t type = 0;
    if (!FF::utils::Deserialize(message, type)) {
        session->close();
        return;
    }
    switch (type) {
    case kMessageCall: {
        std::uint32_t handlerId = 0;
        std::uint32_t callNumber = 0;
        if (!FF::utils::Deserialize(message, handlerId) || !FF::utils::Deserialize(message, callNumber)) {
            session->close();
            return;
        }
        routeReply(message, handlerId, callNumber);
        return;
    }
    case kMessagePing: {
        FF::Net::NetBuffer pong = controlMessage(kMessagePong);
        session->send(pong);
        return;
    }
    case kMessagePong: return;
    case kMessageInit: {
        WriteLock guard(m_lock);
        if (m_state != StateInitializing)
            return;
        FF::utils::String key;
        if (!FF::utils::Deserialize(message, key)) {
            guard.unlock();
            session->close();
            return;
        }
        m_clientKey = key;
        m_localAddress = m_client->localAddress();
        m_state = StateOnline;
        guard.unlock();
        notifyWaiters();
        return;
    }
    case kMessageReInit: {
        FF::utils::String key;
        const bool keyRead = FF::utils::Deserialize(message, key);
        {
            // Looked at and set under the lock in which stop() and
            // breakConnection() mark that no connection is made any more,
            // before they go offline: a re-init that comes once either has
            // begun finds that mark and leaves the client offline.
            WriteLock guard(m_lock);
            if (m_state != StateReconnecting || m_noConnections)
                return;
            if (!keyRead) {
                guard.unlock();
                session->close();
                return;
            }
            if (key != m_clientKey) {
                // The service no longer knows this client: give up.
                m_retryMax = 0;
                guard.unlock();
                notifyWaiters();
                session->close();
                return;
            }
            m_localAddress = m_client->localAddress();
            m_state = StateOnline;
        }
        forEachHandler([](IDispatchHandler* handler) {
            try {
                handler->onWake();
            } catch (...) {
                platform::reportEscapedException("DispatchClient wake handler");
            }
        });
        return;
    }
    default: session->close(); return;
    }
}

void __DispatchClient::routeReply(FF::utils::IBuffer* message, std::uint32_t handlerId, std::uint32_t callNumber)
{
    // Shared for the call, with the lock released: the handler's owner may
    // let it go meanwhile, and the handler may block.
    const std::shared_ptr<IDispatchHandler> handler = handlerFor(handlerId);
    if (!handler)
        return;
    try {
        handler->onReply(message, callNumber);
    } catch (...) {
        platform::reportEscapedException("DispatchClient reply handler");
        handler->onReplyFailed(callNumber);
    }
}

bool __DispatchClient::onReceivedAside(FF::Net::ISession* session)
{
    FF::utils::IBuffer* message = session->buffer();
    std::uint32_t type = 0;
    std::uint32_t handlerId = 0;
    std::uint32_t callNumber = 0;
    if (!FF::utils::Deserialize(message, type) || type != kMessageCall || !FF::utils::Deserialize(message, handlerId)
        || !FF::utils::Deserialize(message, callNumber))
        return false;
    routeReply(message, handlerId, callNumber);
    return true;
}

std::shared_ptr<FF::Net::IClient> __DispatchClient::readingClient() const
{
    ReadLock guard(m_lock);
    return m_state == StateOnline ? m_client : nullptr;
}

void __DispatchClient::closeRetired()
{
    std::shared_ptr<FF::Net::IClient> retired;
    {
        WriteLock guard(m_lock);
        retired.swap(m_retired);
    }
    if (retired)
        closeReplaced(std::move(retired));
}

void __DispatchClient::closeReplaced(std::shared_ptr<FF::Net::IClient> replaced)
{
    replaced->close();
    if (!replaced->isQuiet()) {
        WriteLock guard(m_lock);
        m_leftRunning.push_back(std::move(replaced));
    }
}

bool __DispatchClient::quiet() const
{
    if (m_reconnecting > 0 || m_telling > 0)
        return false;
    ReadLock guard(m_lock, std::try_to_lock);
    if (!guard.owns_lock())
        return false;
    bool quiet = (!m_client || m_client->isQuiet()) && (!m_retired || m_retired->isQuiet());
    for (const auto& client : m_leftRunning)
        quiet = quiet && client->isQuiet();
    return quiet;
}

void __DispatchClient::onTick(FF::Net::IConnection* connection)
{
    closeRetired();
    const std::uint64_t idle = connection->idleTime();
    if (idle > m_pingInterval) {
        if (idle > kPingGiveUpFactor * m_pingInterval) {
            connection->closeNow();
            return;
        }
        if (std::shared_ptr<FF::Net::IClient> client = currentClient()) {
            FF::Net::NetBuffer ping = controlMessage(kMessagePing);
            client->send(ping);
        }
    }
    forEachHandler([](IDispatchHandler* handler) {
        try {
            handler->onTimerCheck();
        } catch (...) {
            platform::reportEscapedException("DispatchClient tick handler");
        }
    });
}

void __DispatchClient::onDisconnected(FF::Net::IConnection* connection)
{
    {
        WriteLock guard(m_lock);
        if (m_state == StateInitializing) {
            m_state = StateOffline;
            guard.unlock();
            notifyWaiters();
            return;
        }
        if (m_state == StateOffline)
            return;
        if (!connection->isBroken()) {
            guard.unlock();
            giveUp();
            return;
        }
        if (m_state != StateReconnecting) {
            m_state = StateReconnecting;
            m_retriesLeft = m_retryMax.load();
        }
        // A count, not a flag: a fresh connection can break and start its own
        // loop before the loop that made it has returned.
        ++m_reconnecting;
    }
    // Every attempt costs a retry, also one whose connection broke before
    // the re-init reply; stop() sets retry max to 0 and ends the loop.
    while (m_retriesLeft >= 1 && m_retryMax > 0) {
        if (waitFor(m_reconnectDelay, [this] { return m_retryMax <= 0; }))
            break;
        --m_retriesLeft;
        try {
            reconnect();
            --m_reconnecting;
            notifyWaiters();
            return;
        } catch (...) {
            platform::reportEscapedException("DispatchClient reconnection");
        }
    }
    --m_reconnecting;
    notifyWaiters();
    giveUp();
}

void __DispatchClient::reconnect()
{
    closeRetired();
    const FF::Net::Address peer = currentClient()->peerAddress();
    std::shared_ptr<FF::Net::IClient> fresh(m_factory->create(peer));
    FF::Net::Address previousLocal;
    std::shared_ptr<FF::Net::IClient> unclosed; // retired by another loop meanwhile
    {
        WriteLock guard(m_lock);
        // A stop() or a break that came meanwhile ended the connections it
        // found: this one is dropped unstarted. Started under the lock, a
        // connection is one that they find and end, or none at all.
        if (m_noConnections)
            return;
        unclosed = std::move(m_retired);
        m_retired = m_client;
        m_client = fresh;
        previousLocal = m_localAddress;
        start(*fresh);
    }
    if (unclosed)
        closeReplaced(std::move(unclosed));
    FF::Net::NetBuffer reInit = controlMessage(kMessageReInit);
    const std::uint64_t word = previousLocal.toWord();
    reInit.write(&word, sizeof word);
    fresh->send(reInit);
}

void __DispatchClient::giveUp()
{
    // stop() or a break may have given up first, and the connection it
    // ended or a reconnection loop it cut short comes here after it: what
    // is left is telling the handlers that nobody told yet.
    bool wentOffline = false;
    {
        WriteLock guard(m_lock);
        wentOffline = m_state != StateOffline;
        m_state = StateOffline;
    }
    if (wentOffline)
        notifyWaiters();
    tellDisconnected();
}

void __DispatchClient::tellDisconnected()
{
    for (;;) {
        std::shared_ptr<IDispatchHandler> next;
        {
            WriteLock guard(m_lock);
            for (auto& entry : m_handlers) {
                if (!entry.second.told) {
                    entry.second.told = true;
                    next = entry.second.handler;
                    break;
                }
            }
        }
        if (!next)
            return;
        try {
            next->onDisconnected();
        } catch (...) {
            platform::reportEscapedException("DispatchClient disconnect handler");
        }
    }
}

void __DispatchClient::goOffline()
{
    {
        // One step under the lock in which every change of state is made:
        // nothing brings the client online again (see the re-init).
        WriteLock guard(m_lock);
        m_noConnections = true;
        m_retryMax = 0;
        m_state = StateOffline;
    }
    notifyWaiters(); // the init wait, a reconnect delay under way
    // Each handler not told yet is told on a thread of its own: one that
    // does not return holds up that thread alone, neither the caller nor
    // the telling of the others, and stop() waits for it within its limit.
    WriteLock guard(m_lock);
    for (auto& entry : m_handlers) {
        if (entry.second.told)
            continue;
        entry.second.told = true;
        std::shared_ptr<IDispatchHandler> handler = entry.second.handler;
        ++m_telling;
        try {
            m_tellers.emplace_back([this, handler] {
                t_tellingFor = this;
                try {
                    handler->onDisconnected();
                } catch (...) {
                    platform::reportEscapedException("DispatchClient disconnect handler");
                }
                --m_telling;
                notifyWaiters();
            });
        } catch (...) {
            // No thread to be had: left to the next thread that tells.
            --m_telling;
            entry.second.told = false;
        }
    }
    guard.unlock();
    // What could not have a thread of its own (if anything) is told here.
    tellDisconnected();
}

void __DispatchClient::breakConnection()
{
    std::shared_ptr<FF::Net::IClient> current;
    std::shared_ptr<FF::Net::IClient> retired;
    {
        WriteLock guard(m_lock);
        // From here on no connection is made: an attempt under way drops
        // the one it makes (see reconnect()).
        m_noConnections = true;
        current = m_client;
        retired = m_retired;
    }
    goOffline();
    // As a break: the receive threads end within a step and report the end
    // to a client that is offline already, so nothing follows from it.
    if (current)
        current->closeNow();
    if (retired)
        retired->closeNow();
}

void __DispatchClient::stop()
{
    std::shared_ptr<FF::Net::IClient> current;
    bool retiredHeld = false;
    {
        WriteLock guard(m_lock);
        // A second stop (the destructor's after the owner's) finds nothing
        // more to do: what the first one left running it left for good.
        if (m_stopped)
            return;
        m_stopped = true;
        m_noConnections = true;
        current = m_client;
        retiredHeld = m_retired != nullptr;
    }
    // The calls waiting end now, not once the connection has closed; a
    // reconnect delay under way ends too.
    goOffline();
    // A replaced connection still open closes beside the current one, so
    // that the two bounded waits for their peers do not add up.
    std::thread retiredCloser;
    if (retiredHeld) {
        try {
            retiredCloser = std::thread([this] { closeRetired(); });
        } catch (const std::system_error&) {
            // No thread to be had: closed after the current one instead.
        }
    }
    if (current)
        current->close();
    if (retiredCloser.joinable())
        retiredCloser.join();
    else
        closeRetired();
    // A reconnection attempt runs on the receive thread of the connection
    // that ended, which the closes above waited for; one that runs on still
    // starts no connection, and this object stays until it has ended (see
    // ~DispatchClient). So does a handler that has not returned from being
    // told of the end.
    // Called by a handler told of a break, the stop's own teller thread is
    // not waited for.
    const int ownTeller = t_tellingFor == this ? 1 : 0;
    if (!waitFor(kStopLoopLimitMs, [this, ownTeller] { return m_reconnecting <= 0 && m_telling <= ownTeller; })) {
        const std::string peer = current ? current->peerAddress().toString() : std::string("?");
        if (m_reconnecting > 0)
            qWarning("DispatchClient stop: a reconnection attempt to %s is still under way: left to end by itself",
                     peer.c_str());
        if (m_telling > ownTeller)
            qWarning("DispatchClient stop: a handler told of the end of %s has not returned: left running",
                     peer.c_str());
    }
}

} // namespace RPC
} // namespace FF
