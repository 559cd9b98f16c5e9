#include "tarnwick/core/messages/wifimodewritemsg.h"

#include "tarnwick/core/panelrpc/panelconstants.h"
#include "tarnwick/core/panelrpc/panelrpcclient.h"

WifiModeWriteMsg::WifiModeWriteMsg(PanelRpcClient* client, int adapter, int mode)
    : m_client(client)
    , m_adapter(adapter)
    , m_mode(mode)
{
}

WifiModeWriteMsg::~WifiModeWriteMsg() = default;

void WifiModeWriteMsg::Run()
{
    int answer = 0;
    const bool called = m_client && m_client->Set_Wifi_WorkMode(m_adapter, m_mode, answer);
    bool success = false;
    const QString text = Tarnwick::PanelConstants::writeOutcome(called, answer, success);
    emit Complete(success, text);
}
