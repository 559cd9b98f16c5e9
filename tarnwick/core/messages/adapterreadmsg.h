#pragma once

// Reads one adapter's common settings. Reports the starting values with false when the call fails.

#include "tarnwick/core/messages/msgbase.h"
#include "tarnwick/core/panelrpc/panelrecords.h"

#include <string>
#include <utility>
#include <vector>

class PanelRpcClient;

class AdapterReadMsg : public MsgBase {
    Q_OBJECT
public:
    AdapterReadMsg(PanelRpcClient* client, int adapter);
    ~AdapterReadMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc, stAdapterCommonInfo info);

private:
    PanelRpcClient* m_client;
    int m_adapter;
};
