#include "tarnwick/core/messages/hotspotinforeadmsg.h"

#include "tarnwick/core/panelrpc/panelrpcclient.h"

HotspotInfoReadMsg::HotspotInfoReadMsg(PanelRpcClient* client, int adapter)
    : m_client(client)
    , m_adapter(adapter)
{
}

HotspotInfoReadMsg::~HotspotInfoReadMsg() = default;

void HotspotInfoReadMsg::Run()
{
    stWifiHotspotInfo value{};
    const bool ok = m_client && m_client->Get_WifiHotspotInfo(m_adapter, value);
    emit Complete(ok, value);
}
