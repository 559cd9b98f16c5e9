#include "tarnwick/core/messages/sysinfomsg.h"

#include "tarnwick/core/panelrpc/panelrpcclient.h"

SysInfoMsg::SysInfoMsg(PanelRpcClient* client)
    : m_client(client)
{
}

SysInfoMsg::~SysInfoMsg() = default;

void SysInfoMsg::Run()
{
    stSysInfo value{};
    const bool ok = m_client && m_client->GetSysInfo(value);
    emit Complete(ok, value);
}
