#include "framework/rpc/syncproxyprivate.h"

#include "framework/net/exception.h"
#include "framework/net/iclient.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/rpcconstants.h"
#include "framework/utils/serialize.h"
#include "platform/clock/monotonicclock.h"
#include "platform/exceptionlog/exceptionlog.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>
#include <utility>

namespace FF {
namespace RPC {

namespace {

// Handler ids come from one process-wide counter: an object address cut to
// 32 bits could repeat on a 64-bit system and route a reply to the wrong call.
std::uint32_t nextHandlerId()
{
    static std::atomic<std::uint32_t> counter{0};
    std::uint32_t id = ++counter;
    while (id == 0)
        id = ++counter;
    return id;
}

} // namespace

__SyncProxy::__SyncProxy(DispatchClient* client)
    : m_handlerId(nextHandlerId())
    , m_timeOut(kDefaultCallTimeOutMs)
    , m_client(client)
{
    if (!m_client)
        throw FF::Net::Exception("Proxy.Proxy", "no matched service");
}

// Possibly on a thread of the client's, at the end of a call that ran when
// the proxy's owner let it go: it touches nothing but its own.
__SyncProxy::~__SyncProxy() = default;

FF::utils::IBuffer* __SyncProxy::argsBuffer(const FF::utils::String& methodName)
{
    const std::uint32_t callNumber = static_cast<std::uint32_t>(++m_callNumber);
    // The block is kept from call to call: a proxy that makes many calls
    // (a transfer's chunks) grows it once.
    m_request.reset();
    FF::utils::Serialize(&m_request, static_cast<unsigned int>(kMessageCall));
    FF::utils::Serialize(&m_request, static_cast<unsigned int>(m_handlerId));
    FF::utils::Serialize(&m_request, static_cast<unsigned int>(callNumber));
    methodName.serialize(&m_request);
    return &m_request;
}

void __SyncProxy::setTimeOut(unsigned int ms)
{
    m_timeOut = ms < kMinCallTimeOutMs ? kMinCallTimeOutMs : ms;
}

bool __SyncProxy::disarm()
{
    int armed = 1;
    return m_armed.compare_exchange_strong(armed, 0);
}

void __SyncProxy::finish(int status)
{
    m_startTick = kNotPending;
    m_timeOut = kDefaultCallTimeOutMs;
    m_status = status;
    m_semaphore.release();
}

void __SyncProxy::spinWhileWaiting()
{
    // A reply on loopback or a LAN often comes within tens of microseconds:
    // looking for it that long, on the socket itself, is cheaper than
    // parking this thread and having the receive thread woken, then this
    // one. The look is bounded, so that a slow reply costs little.
    std::shared_ptr<FF::Net::IClient> connection = m_client->readingClient();
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(kCallSpinUs);
    while (m_status.load(std::memory_order_acquire) == StatusWaiting) {
        const FF::Net::AsideRead read = connection ? connection->readAside(0) : FF::Net::AsideRead::Unavailable;
        // Between looks that found nothing new the processor goes to whoever
        // else may run on it (the peer, on one core), instead of to one more
        // empty receive.
        if (read != FF::Net::AsideRead::Read)
            std::this_thread::yield();
        if (std::chrono::steady_clock::now() >= until)
            return;
    }
}

void __SyncProxy::waitStep(std::uint32_t stepMs)
{
    std::shared_ptr<FF::Net::IClient> connection = m_client->readingClient();
    const auto waiting = [this] { return m_status.load(std::memory_order_acquire) == StatusWaiting; };
    switch (connection ? connection->readAside(stepMs, waiting) : FF::Net::AsideRead::Unavailable) {
    case FF::Net::AsideRead::Read:
    case FF::Net::AsideRead::Nothing: return;
    case FF::Net::AsideRead::Busy:
        // Whoever holds the read side passes this call's reply on: another
        // caller, or the receive thread, which then also waits on the socket
        // for it. Let go of meanwhile, the next look takes it; the processor
        // goes first to the thread letting go (on one core, it may need it).
        if (connection->awaitReader()) {
            m_semaphore.tryAcquireFor(stepMs);
            connection->endAwait();
        } else {
            std::this_thread::yield();
        }
        return;
    case FF::Net::AsideRead::Stopped:
    case FF::Net::AsideRead::Unavailable:
        // The receive thread ends the call, or a reconnection resends it.
        m_semaphore.tryAcquireFor(stepMs);
        return;
    }
}

void __SyncProxy::sync()
{
    // A wake-up left over from an earlier call must not end this one.
    while (m_semaphore.tryAcquire()) {}
    const std::uint64_t start = platform::monotonicMs();
    const std::uint64_t timeOut = m_timeOut;
    const std::uint64_t deadline = start + timeOut;
    m_startTick = start;
    m_status = StatusWaiting;
    m_sendTokens = 1;
    m_armed = 1;
    std::function<void()> work = std::move(m_waitWork);
    m_waitWork = nullptr;
    std::exception_ptr workFailure;
    bool spun = false;
    for (;;) {
        if (--m_sendTokens < 0) {
            ++m_sendTokens;
        } else {
            const DispatchClient::SendOutcome sent = m_client->send(m_request, deadline);
            if (work) {
                // While the request is on its way.
                try {
                    work();
                } catch (...) {
                    workFailure = std::current_exception();
                }
                work = nullptr;
            }
            switch (sent) {
            case DispatchClient::SendOutcome::Accepted: break;
            case DispatchClient::SendOutcome::Offline:
                if (disarm()) {
                    m_startTick = kNotPending;
                    m_timeOut = kDefaultCallTimeOutMs;
                }
                throw FF::Net::Exception("Proxy.sync", "send failed");
            case DispatchClient::SendOutcome::TimedOut: timeOutNow(); break;
            }
        }
        if (!spun) {
            spinWhileWaiting();
            spun = true;
        }
        if (m_status != StatusWaiting)
            break;
        const std::uint64_t now = platform::monotonicMs();
        const std::uint64_t left = now - start < timeOut ? timeOut - (now - start) : 0;
        waitStep(static_cast<std::uint32_t>(std::min<std::uint64_t>(kCallWaitStepMs, left + 1)));
        if (m_status != StatusWaiting)
            break;
        // The caller keeps the time itself as well: the tick that ends a
        // late call runs on the receive thread, which a reconnection in
        // progress holds for seconds.
        if (platform::monotonicMs() - start > timeOut)
            timeOutNow();
    }
    const int status = m_status;
    if (status != StatusSucceed)
        throw FF::Net::Exception("Proxy.sync", statusName(status));
    if (workFailure)
        std::rethrow_exception(workFailure);
}

void __SyncProxy::onReply(FF::utils::IBuffer* message, std::uint32_t callNumber)
{
    if (static_cast<int>(callNumber) != m_callNumber.load())
        return;
    if (!disarm())
        return;
    // From here on this reply ends the call, also when taking it fails: the
    // caller must not wait for a time-out that nothing is left to notice.
    int result = StatusRecvDataError;
    try {
        result = takeReply(message);
    } catch (...) {
        platform::reportEscapedException("SyncProxy reply");
        m_reply.reset();
        result = StatusRecvDataError;
    }
    finish(result);
}

int __SyncProxy::takeReply(FF::utils::IBuffer* message)
{
    std::uint32_t status = 0;
    int result = StatusRecvDataError;
    if (FF::utils::Deserialize(message, status)) {
        // The waiting value itself would keep sync() waiting for ever.
        result = status == static_cast<std::uint32_t>(StatusWaiting) ? StatusUnknown : static_cast<int>(status);
    }
    auto* received = dynamic_cast<FF::Net::NetBuffer*>(message);
    if (result == StatusSucceed && received) {
        // The results are handed over by taking the whole message block, the
        // bytes in front of them dropped in place; the message gets the old
        // reply block back for the next frame.
        const std::uint64_t results = received->readPos();
        std::swap(m_reply, *received);
        m_reply.discardFront(results);
        m_reply.setReadPos(0);
        m_reply.setWritePos(m_reply.size());
    } else {
        m_reply.reset();
        if (result == StatusSucceed && message->remaining() > 0)
            m_reply.write(message->data() + message->readPos(), message->remaining());
    }
    return result;
}

void __SyncProxy::onReplyFailed(std::uint32_t callNumber)
{
    if (static_cast<int>(callNumber) != m_callNumber.load())
        return;
    if (!disarm())
        return;
    m_reply.reset();
    finish(StatusRecvDataError);
}

void __SyncProxy::timeOutNow()
{
    if (!disarm())
        return;
    m_reply.reset();
    finish(StatusConnectionTimeOut);
}

void __SyncProxy::onTimerCheck()
{
    const std::uint64_t start = m_startTick;
    const std::uint64_t now = platform::monotonicMs();
    if (now < start || now - start <= m_timeOut)
        return;
    timeOutNow();
}

void __SyncProxy::onDisconnected()
{
    // Only a pending call is ended: the reply of a finished call may still
    // be read by its caller.
    if (!disarm())
        return;
    m_reply.release();
    finish(StatusConnectionInterrupted);
}

void __SyncProxy::onWake()
{
    if (m_status != StatusWaiting || m_armed == 0)
        return;
    ++m_sendTokens;
    m_semaphore.release();
}

} // namespace RPC
} // namespace FF
