#include "tarnwick/core/messages/queryloginmsg.h"

#include "tarnwick/core/panelrpc/panelrpcclient.h"

QueryLoginMsg::QueryLoginMsg(PanelRpcClient* client)
    : m_client(client)
{
}

QueryLoginMsg::~QueryLoginMsg() = default;

void QueryLoginMsg::Run()
{
    const bool needCheck = m_client && m_client->projectHasPassword();
    const bool online = m_client && m_client->isOnline();
    emit Complete(online, needCheck);
}
