#include "tarnwick/core/messages/connmsg.h"

#include "tarnwick/core/panelrpc/panelrpcclient.h"

ConnMsg::ConnMsg(PanelRpcClient* client, const FF::Net::Address& address)
    : m_client(client)
    , m_address(address)
{
}

ConnMsg::~ConnMsg() = default;

void ConnMsg::Run()
{
    emit Complete(m_client && m_client->connect(m_address));
}
