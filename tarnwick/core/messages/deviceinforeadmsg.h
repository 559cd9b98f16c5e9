#pragma once

// Reads the panel's runtime, system and storage information, in that order,
// into one stConfInfo; a failed step ends the sequence with what was read.

#include "tarnwick/core/messages/msgbase.h"
#include "tarnwick/core/messages/runtimeinfomsg.h"
#include "tarnwick/core/messages/spaceinfomsg.h"
#include "tarnwick/core/messages/sysinfomsg.h"

class DeviceInfoReadMsg : public MsgBase {
    Q_OBJECT
public:
    explicit DeviceInfoReadMsg(PanelRpcClient* client);
    ~DeviceInfoReadMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc, stConfInfo info);

protected slots:
    void CompleteRunTimeInfo(bool bSuc, stRunTimeInfo info);
    void CompleteSysInfo(bool bSuc, stSysInfo info);
    void CompleteSpaceInfo(bool bSuc, stSpaceInfo info);

private:
    RunTimeInfoMsg m_runTime;
    SysInfoMsg m_sys;
    SpaceInfoMsg m_space;
    stConfInfo m_info;
};
