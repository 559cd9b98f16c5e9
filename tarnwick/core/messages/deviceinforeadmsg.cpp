#include "tarnwick/core/messages/deviceinforeadmsg.h"

DeviceInfoReadMsg::DeviceInfoReadMsg(PanelRpcClient* client)
    : m_runTime(client)
    , m_sys(client)
    , m_space(client)
{
}

DeviceInfoReadMsg::~DeviceInfoReadMsg() = default;

void DeviceInfoReadMsg::Run()
{
    connect(&m_runTime, &RunTimeInfoMsg::Complete, this, &DeviceInfoReadMsg::CompleteRunTimeInfo, Qt::DirectConnection);
    m_runTime.Run();
}

void DeviceInfoReadMsg::CompleteRunTimeInfo(bool bSuc, stRunTimeInfo info)
{
    if (!bSuc) {
        emit Complete(false, m_info);
        return;
    }
    m_info.runTime = info;
    connect(&m_sys, &SysInfoMsg::Complete, this, &DeviceInfoReadMsg::CompleteSysInfo, Qt::DirectConnection);
    m_sys.Run();
}

void DeviceInfoReadMsg::CompleteSysInfo(bool bSuc, stSysInfo info)
{
    if (!bSuc) {
        emit Complete(false, m_info);
        return;
    }
    m_info.sys = info;
    connect(&m_space, &SpaceInfoMsg::Complete, this, &DeviceInfoReadMsg::CompleteSpaceInfo, Qt::DirectConnection);
    m_space.Run();
}

void DeviceInfoReadMsg::CompleteSpaceInfo(bool bSuc, stSpaceInfo info)
{
    if (bSuc)
        m_info.space = info;
    emit Complete(bSuc, m_info);
}
