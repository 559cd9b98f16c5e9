#include "tarnwick/core/messages/hotspotinfowritemsg.h"

#include "tarnwick/core/panelrpc/panelconstants.h"
#include "tarnwick/core/panelrpc/panelrpcclient.h"

HotspotInfoWriteMsg::HotspotInfoWriteMsg(PanelRpcClient* client, int adapter, const stWifiHotspotInfo& info)
    : m_client(client)
    , m_adapter(adapter)
    , m_info(info)
{
}

HotspotInfoWriteMsg::~HotspotInfoWriteMsg() = default;

void HotspotInfoWriteMsg::Run()
{
    int answer = 0;
    const bool called = m_client && m_client->Set_WifiHotspotInfo(m_adapter, m_info, answer);
    bool success = false;
    const QString text = Tarnwick::PanelConstants::writeOutcome(called, answer, success);
    emit Complete(success, text);
}
