#include "tarnwick/core/messages/checkconnmsg.h"

#include "tarnwick/core/panelrpc/panelrpcclient.h"

CheckConnMsg::CheckConnMsg(PanelRpcClient* client, const FF::Net::Address& address)
    : m_client(client)
    , m_address(address)
{
}

CheckConnMsg::~CheckConnMsg() = default;

void CheckConnMsg::Run()
{
    (void)m_client;
    emit Complete(PanelRpcClient::checkReachable(m_address));
}
