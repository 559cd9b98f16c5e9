#include "tarnwick/core/messages/wifimodereadmsg.h"

#include "tarnwick/core/panelrpc/panelrpcclient.h"

WifiModeReadMsg::WifiModeReadMsg(PanelRpcClient* client, int adapter)
    : m_client(client)
    , m_adapter(adapter)
{
}

WifiModeReadMsg::~WifiModeReadMsg() = default;

void WifiModeReadMsg::Run()
{
    int value = 0;
    const bool ok = m_client && m_client->Get_Wifi_WorkMode(m_adapter, value);
    emit Complete(ok, value);
}
