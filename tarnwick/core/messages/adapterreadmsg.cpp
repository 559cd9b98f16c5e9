#include "tarnwick/core/messages/adapterreadmsg.h"

#include "tarnwick/core/panelrpc/panelrpcclient.h"

AdapterReadMsg::AdapterReadMsg(PanelRpcClient* client, int adapter)
    : m_client(client)
    , m_adapter(adapter)
{
}

AdapterReadMsg::~AdapterReadMsg() = default;

void AdapterReadMsg::Run()
{
    stAdapterCommonInfo value{};
    const bool ok = m_client && m_client->GetNetworkAdapterCommonInfo(m_adapter, value);
    emit Complete(ok, value);
}
