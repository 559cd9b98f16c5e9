#include "quillet/rpc/omberrpcobject.h"

#include "framework/net/address.h"
#include "framework/net/exception.h"
#include "framework/net/tcpclient.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/typedcall.h"
#include "quillet/rpc/rpcconstants.h"

using namespace QuilletRpc;

OmberRpcObject::OmberRpcObject(const std::string& address)
{
    const std::string text = address + kProjectPortSuffix;
    const std::string failure = "connect omber address[" + text + "] fail";
    try {
        const FF::Net::Address endpoint(text.c_str());
        if (!FF::Net::TCPClient::CheckConnection(endpoint, kProjectProbeMs))
            throw Exception(failure, Exception::Unreachable);
        m_client = std::make_unique<FF::RPC::DispatchClient>(endpoint, FF::Net::TCPClient::NewFactory());
    } catch (const FF::Net::Exception&) {
        throw Exception(failure, Exception::Unreachable);
    }
}

OmberRpcObject::~OmberRpcObject()
{
    if (!m_client)
        return;
    try {
        m_client->stop();
    } catch (const FF::Net::Exception&) {
    }
    m_client.reset();
}

bool OmberRpcObject::projectHasPassword()
{
    try {
        return FF::RPC::call<bool>(m_client.get(), kProjectCallTimeoutMs, kProjectHasPassword);
    } catch (const FF::Net::Exception&) {
        throw Exception("call method hasPassword fail", Exception::CallFailed);
    }
}

bool OmberRpcObject::projectCheckPassword(const std::string& digest)
{
    try {
        return FF::RPC::call<bool>(m_client.get(), kProjectCallTimeoutMs, kProjectCheckPassword,
                                   FF::utils::String(digest));
    } catch (const FF::Net::Exception&) {
        throw Exception("call method checkPassword fail", Exception::CallFailed);
    }
}

bool OmberRpcObject::projectStart()
{
    try {
        return FF::RPC::call<bool>(m_client.get(), kProjectCallTimeoutMs, kProjectStart);
    } catch (const FF::Net::Exception&) {
        throw Exception("call method startProject fail", Exception::CallFailed);
    }
}
