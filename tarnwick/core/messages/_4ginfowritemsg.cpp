#include "tarnwick/core/messages/_4ginfowritemsg.h"

#include "tarnwick/core/panelrpc/panelconstants.h"
#include "tarnwick/core/panelrpc/panelrpcclient.h"

_4GInfoWriteMsg::_4GInfoWriteMsg(PanelRpcClient* client, int adapter, const st4GConnectInfo& info)
    : m_client(client)
    , m_adapter(adapter)
    , m_info(info)
{
}

_4GInfoWriteMsg::~_4GInfoWriteMsg() = default;

void _4GInfoWriteMsg::Run()
{
    int answer = 0;
    const bool called = m_client && m_client->Set4GConnectInfo(m_adapter, m_info, answer);
    bool success = false;
    const QString text = Tarnwick::PanelConstants::writeOutcome(called, answer, success);
    emit Complete(success, text);
}
