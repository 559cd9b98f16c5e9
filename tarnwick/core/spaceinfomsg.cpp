#include "tarnwick/core/spaceinfomsg.h"

#include "tarnwick/core/panelrpcclient.h"

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
