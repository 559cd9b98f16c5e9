#include "tarnwick/core/messages/disconnmsg.h"

#include "tarnwick/core/panelrpc/panelrpcclient.h"

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
