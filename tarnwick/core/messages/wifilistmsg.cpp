#include "tarnwick/core/messages/wifilistmsg.h"

#include "tarnwick/core/panelrpc/panelrpcclient.h"

WifiListMsg::WifiListMsg(PanelRpcClient* client, int adapter)
    : m_client(client)
    , m_adapter(adapter)
{
}

WifiListMsg::~WifiListMsg() = default;

void WifiListMsg::Run()
{
    std::vector<std::string> value{};
    const bool ok = m_client && m_client->GetWifiAdapters(value);
    emit Complete(ok, value);
}
