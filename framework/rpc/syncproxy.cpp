#include "framework/rpc/syncproxy.h"

#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/syncproxyprivate.h"

#include <utility>

namespace FF {
namespace RPC {

SyncProxy::SyncProxy(DispatchClient* client)
    : m_impl(std::make_shared<__SyncProxy>(client))
{
    client->registerHandler(m_impl);
}

SyncProxy::~SyncProxy()
{
    // A reply or a tick that the client is handing the proxy right now
    // keeps it until that call returns.
    m_impl->client()->unregisterHandler(m_impl.get());
}

FF::utils::IBuffer* SyncProxy::argsBuffer(const FF::utils::String& methodName)
{
    return m_impl->argsBuffer(methodName);
}

void SyncProxy::setTimeOut(unsigned int ms)
{
    m_impl->setTimeOut(ms);
}

std::uint64_t SyncProxy::timeOut() const
{
    return m_impl->timeOut();
}

void SyncProxy::setWaitWork(std::function<void()> work)
{
    m_impl->setWaitWork(std::move(work));
}

void SyncProxy::sync()
{
    m_impl->sync();
}

FF::utils::IBuffer* SyncProxy::resultBuffer()
{
    return m_impl->resultBuffer();
}

} // namespace RPC
} // namespace FF
