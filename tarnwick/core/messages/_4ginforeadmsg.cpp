#include "tarnwick/core/messages/_4ginforeadmsg.h"

#include "tarnwick/core/panelrpc/panelrpcclient.h"

_4GInfoReadMsg::_4GInfoReadMsg(PanelRpcClient* client, int adapter)
    : m_client(client)
    , m_adapter(adapter)
{
}

_4GInfoReadMsg::~_4GInfoReadMsg() = default;

void _4GInfoReadMsg::Run()
{
    st4GConnectInfo value{};
    const bool ok = m_client && m_client->Get4GConnectInfo(m_adapter, value);
    emit Complete(ok, value);
}
