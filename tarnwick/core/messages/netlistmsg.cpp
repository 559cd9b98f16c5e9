#include "tarnwick/core/messages/netlistmsg.h"

#include "tarnwick/core/panelrpc/panelrpcclient.h"

NetListMsg::NetListMsg(PanelRpcClient* client)
    : m_client(client)
{
}

NetListMsg::~NetListMsg() = default;

void NetListMsg::Run()
{
    std::vector<std::pair<std::string, int>> value{};
    const bool ok = m_client && m_client->GetNetworkAdapters(value);
    emit Complete(ok, value);
}
