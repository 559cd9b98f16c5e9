#include "tarnwick/core/messages/wifiinforeadmsg.h"

#include "tarnwick/core/panelrpc/panelrpcclient.h"

WifiInfoReadMsg::WifiInfoReadMsg(PanelRpcClient* client, int adapter)
    : m_client(client)
    , m_adapter(adapter)
{
}

WifiInfoReadMsg::~WifiInfoReadMsg() = default;

void WifiInfoReadMsg::Run()
{
    stWifiConnectInfo value{};
    const bool ok = m_client && m_client->GetWifiConnectInfo(m_adapter, value);
    emit Complete(ok, value);
}
