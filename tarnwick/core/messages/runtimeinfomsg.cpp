#include "tarnwick/core/messages/runtimeinfomsg.h"

#include "tarnwick/core/panelrpc/panelrpcclient.h"

RunTimeInfoMsg::RunTimeInfoMsg(PanelRpcClient* client)
    : m_client(client)
{
}

RunTimeInfoMsg::~RunTimeInfoMsg() = default;

void RunTimeInfoMsg::Run()
{
    stRunTimeInfo value{};
    const bool ok = m_client && m_client->GetRunTimeInfo(value);
    emit Complete(ok, value);
}
