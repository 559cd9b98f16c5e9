#include "tarnwick/core/messages/adapterwritemsg.h"

#include "tarnwick/core/panelrpc/panelconstants.h"
#include "tarnwick/core/panelrpc/panelrpcclient.h"

AdapterWriteMsg::AdapterWriteMsg(PanelRpcClient* client, int adapter, const stAdapterCommonInfo& info)
    : m_client(client)
    , m_adapter(adapter)
    , m_info(info)
{
}

AdapterWriteMsg::~AdapterWriteMsg() = default;

void AdapterWriteMsg::Run()
{
    int answer = 0;
    const bool called = m_client && m_client->SetNetworkAdapterCommonInfo(m_adapter, m_info, answer);
    bool success = false;
    const QString text = Tarnwick::PanelConstants::writeOutcome(called, answer, success);
    emit Complete(success, text);
}
