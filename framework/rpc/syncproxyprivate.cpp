#include "framework/rpc/syncproxyprivate.h"

#include "framework/net/exception.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/rpcconstants.h"
#include "framework/utils/serialize.h"
#include "platform/clock/monotonicclock.h"

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
    m_client->registerHandler(this);
}

__SyncProxy::~__SyncProxy()
{
    m_client->unregisterHandler(this);
}

FF::utils::IBuffer* __SyncProxy::argsBuffer(const FF::utils::String& methodName)
{
    const std::uint32_t callNumber = static_cast<std::uint32_t>(++m_callNumber);
    m_request.release();
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

void __SyncProxy::sync()
{
    // A wake-up left over from an earlier call must not end this one.
    while (m_semaphore.tryAcquire()) {
    }
    m_startTick = platform::monotonicMs();
    m_status = StatusWaiting;
    m_sendTokens = 1;
    m_armed = 1;
    do {
        if (--m_sendTokens < 0) {
            ++m_sendTokens;
        } else if (!m_client->send(m_request)) {
            if (disarm()) {
                m_startTick = kNotPending;
                m_timeOut = kDefaultCallTimeOutMs;
            }
            throw FF::Net::Exception("Proxy.sync", "send failed");
        }
        m_semaphore.tryAcquire(1, kCallWaitStepMs);
    } while (m_status == StatusWaiting);
    const int status = m_status;
    if (status != StatusSucceed)
        throw FF::Net::Exception("Proxy.sync", statusName(status));
}

void __SyncProxy::onReply(FF::utils::IBuffer* message, std::uint32_t callNumber)
{
    if (static_cast<int>(callNumber) != m_callNumber.load())
        return;
    if (!disarm())
        return;
    m_reply.reset();
    std::uint32_t status = 0;
    int result = StatusRecvDataError;
    if (FF::utils::Deserialize(message, status)) {
        // The waiting value itself would keep sync() waiting for ever.
        result = status == static_cast<std::uint32_t>(StatusWaiting) ? StatusUnknown : static_cast<int>(status);
        if (status == StatusSucceed && message->remaining() > 0)
            m_reply.write(message->data() + message->readPos(), message->remaining());
    }
    finish(result);
}

void __SyncProxy::onTimerCheck()
{
    const std::uint64_t start = m_startTick;
    const std::uint64_t now = platform::monotonicMs();
    if (now < start || now - start <= m_timeOut)
        return;
    if (!disarm())
        return;
    m_reply.reset();
    finish(StatusConnectionTimeOut);
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
