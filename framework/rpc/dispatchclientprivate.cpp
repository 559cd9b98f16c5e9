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

#include <thread>
#include <vector>

namespace FF {
namespace RPC {

namespace {

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
    QReadLocker guard(&m_lock);
    return m_client;
}

template <class Call>
void __DispatchClient::forEachHandler(Call call)
{
    QReadLocker guard(&m_lock);
    for (auto& entry : m_handlers)
        call(entry.second);
}

void __DispatchClient::registerHandler(IDispatchHandler* handler)
{
    QWriteLocker guard(&m_lock);
    m_handlers[handler->handlerId()] = handler;
}

void __DispatchClient::unregisterHandler(IDispatchHandler* handler)
{
    QWriteLocker guard(&m_lock);
    auto found = m_handlers.find(handler->handlerId());
    if (found != m_handlers.end() && found->second == handler)
        m_handlers.erase(found);
}

DispatchClient::SendOutcome __DispatchClient::send(FF::Net::NetBuffer& message, std::uint64_t deadlineMs)
{
    std::shared_ptr<FF::Net::IClient> client;
    int state;
    {
        QReadLocker guard(&m_lock);
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
        QWriteLocker guard(&m_lock);
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
        if (m_state != StateReconnecting)
            return;
        FF::utils::String key;
        if (!FF::utils::Deserialize(message, key)) {
            session->close();
            return;
        }
        {
            QWriteLocker guard(&m_lock);
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
        forEachHandler([](IDispatchHandler* handler) { handler->onWake(); });
        return;
    }
    default: session->close(); return;
    }
}

void __DispatchClient::routeReply(FF::utils::IBuffer* message, std::uint32_t handlerId, std::uint32_t callNumber)
{
    QReadLocker guard(&m_lock);
    auto found = m_handlers.find(handlerId);
    if (found == m_handlers.end())
        return;
    try {
        found->second->onReply(message, callNumber);
    } catch (...) {
        platform::reportEscapedException("DispatchClient reply handler");
        found->second->onReplyFailed(callNumber);
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
    QReadLocker guard(&m_lock);
    return m_state == StateOnline ? m_client : nullptr;
}

void __DispatchClient::closeRetired()
{
    std::shared_ptr<FF::Net::IClient> retired;
    {
        QWriteLocker guard(&m_lock);
        retired.swap(m_retired);
    }
    if (retired)
        closeReplaced(std::move(retired));
}

void __DispatchClient::closeReplaced(std::shared_ptr<FF::Net::IClient> replaced)
{
    replaced->close();
    if (!replaced->isQuiet()) {
        QWriteLocker guard(&m_lock);
        m_leftRunning.push_back(std::move(replaced));
    }
}

bool __DispatchClient::quiet() const
{
    if (m_reconnecting > 0 || !m_lock.tryLockForRead())
        return false;
    bool quiet = (!m_client || m_client->isQuiet()) && (!m_retired || m_retired->isQuiet());
    for (const auto& client : m_leftRunning)
        quiet = quiet && client->isQuiet();
    m_lock.unlock();
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
    forEachHandler([](IDispatchHandler* handler) { handler->onTimerCheck(); });
}

void __DispatchClient::onDisconnected(FF::Net::IConnection* connection)
{
    {
        QWriteLocker guard(&m_lock);
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
        QWriteLocker guard(&m_lock);
        // A stop() that came meanwhile closed the connections it found: this
        // one is dropped unstarted. Started under the lock, a connection is
        // one that stop() finds and closes, or none at all.
        if (m_stopped)
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
    // Once: stop() gives up at once, and the connection it closes or a
    // reconnection loop it ends may come here after it.
    if (m_state.exchange(StateOffline) == StateOffline)
        return;
    notifyWaiters();
    forEachHandler([](IDispatchHandler* handler) { handler->onDisconnected(); });
}

void __DispatchClient::stop()
{
    std::shared_ptr<FF::Net::IClient> current;
    bool retiredHeld = false;
    {
        QWriteLocker guard(&m_lock);
        // A second stop (the destructor's after the owner's) finds nothing
        // more to do: what the first one left running it left for good.
        if (m_stopped)
            return;
        m_stopped = true;
        current = m_client;
        retiredHeld = m_retired != nullptr;
    }
    m_retryMax = 0;
    notifyWaiters(); // ends a reconnect delay under way
    // The calls waiting end now, not once the connection has closed.
    giveUp();
    // A replaced connection still open closes beside the current one, so
    // that the two bounded waits for their peers do not add up.
    std::thread retiredCloser;
    if (retiredHeld)
        retiredCloser = std::thread([this] { closeRetired(); });
    if (current)
        current->close();
    if (retiredCloser.joinable())
        retiredCloser.join();
    // A reconnection attempt runs on the receive thread of the connection
    // that ended, which the closes above waited for; one that runs on still
    // starts no connection, and this object stays until it has ended (see
    // ~DispatchClient).
    if (!waitFor(kStopLoopLimitMs, [this] { return m_reconnecting <= 0; }))
        qWarning("DispatchClient stop: a reconnection attempt to %s is still under way: left to end by itself",
                 current ? current->peerAddress().toString().c_str() : "?");
}

} // namespace RPC
} // namespace FF
