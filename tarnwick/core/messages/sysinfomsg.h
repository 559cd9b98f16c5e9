#pragma once

// Reads the panel's system texts. Reports the starting values with false when the call fails.

#include "tarnwick/core/messages/msgbase.h"
#include "tarnwick/core/panelrpc/panelrecords.h"

#include <string>
#include <utility>
#include <vector>

class PanelRpcClient;

class SysInfoMsg : public MsgBase {
    Q_OBJECT
public:
    explicit SysInfoMsg(PanelRpcClient* client);
    ~SysInfoMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc, stSysInfo info);

private:
    PanelRpcClient* m_client;
};
