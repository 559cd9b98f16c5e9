#include "framework/rpc/dispatchclient.h"

#include "framework/net/iclientfactory.h"
#include "framework/net/netconstants.h"
#include "framework/rpc/dispatchclientprivate.h"
#include "framework/utils/leftrunning.h"

#include <utility>

namespace FF {
namespace RPC {

DispatchClient::DispatchClient(const FF::Net::Address& address, FF::Net::IClientFactory* factory)
    : m_impl(new __DispatchClient(address, factory))
{
}

DispatchClient::~DispatchClient()
{
    m_impl->stop();
    if (!m_impl->quiet()) {
        // What the stop left running (a reconnection attempt, a receive
        // thread whose handler has not returned) still runs in the client:
        // it stays until that has ended.
        __DispatchClient* impl = m_impl.get();
        const auto ended = [impl] { return impl->quiet(); };
        FF::utils::LeftRunning::keep(std::shared_ptr<__DispatchClient>(std::move(m_impl)), ended, "a dispatch client");
    }
}

void DispatchClient::setRetryMaxTimes(unsigned int times)
{
    m_impl->setRetryMaxTimes(times);
}

void DispatchClient::stop()
{
    m_impl->stop();
}

void DispatchClient::breakConnection()
{
    m_impl->breakConnection();
}

bool DispatchClient::online() const
{
    return m_impl->online();
}

int DispatchClient::state() const
{
    return m_impl->state();
}

void DispatchClient::registerHandler(std::shared_ptr<IDispatchHandler> handler)
{
    m_impl->registerHandler(std::move(handler));
}

void DispatchClient::unregisterHandler(IDispatchHandler* handler)
{
    m_impl->unregisterHandler(handler);
}

bool DispatchClient::send(FF::Net::NetBuffer& message)
{
    return m_impl->send(message, FF::Net::kNoDeadline) != SendOutcome::Offline;
}

DispatchClient::SendOutcome DispatchClient::send(FF::Net::NetBuffer& message, std::uint64_t deadlineMs)
{
    return m_impl->send(message, deadlineMs);
}

std::shared_ptr<FF::Net::IClient> DispatchClient::readingClient() const
{
    return m_impl->readingClient();
}

} // namespace RPC
} // namespace FF
