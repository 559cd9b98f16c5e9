#include "tarnwick/core/messages/spaceinfomsg.h"

#include "tarnwick/core/panelrpc/panelrpcclient.h"

SpaceInfoMsg::SpaceInfoMsg(PanelRpcClient* client)
    : m_client(client)
{
}

SpaceInfoMsg::~SpaceInfoMsg() = default;

void SpaceInfoMsg::Run()
{
    stSpaceInfo value{};
    const bool ok = m_client && m_client->GetSpaceInfo(value);
    emit Complete(ok, value);
}
