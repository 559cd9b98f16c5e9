#include "tarnwick/core/messages/wifiinfowritemsg.h"

#include "tarnwick/core/panelrpc/panelconstants.h"
#include "tarnwick/core/panelrpc/panelrpcclient.h"

WifiInfoWriteMsg::WifiInfoWriteMsg(PanelRpcClient* client, int adapter, const stWifiConnectInfo& info)
    : m_client(client)
    , m_adapter(adapter)
    , m_info(info)
{
}

WifiInfoWriteMsg::~WifiInfoWriteMsg() = default;

void WifiInfoWriteMsg::Run()
{
    int answer = 0;
    const bool called = m_client && m_client->SetWifiConnectInfo(m_adapter, m_info, answer);
    bool success = false;
    const QString text = Tarnwick::PanelConstants::writeOutcome(called, answer, success);
    emit Complete(success, text);
}
