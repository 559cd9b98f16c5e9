#include "tarnwick/core/disconnmsg.h"

#include "tarnwick/core/panelrpcclient.h"

DisconnMsg::DisconnMsg(PanelRpcClient* client)
    : m_client(client)
{
}

DisconnMsg::~DisconnMsg() = default;

void DisconnMsg::Run()
{
    if (m_client)
        m_client->disconnect();
    emit Complete();
}
