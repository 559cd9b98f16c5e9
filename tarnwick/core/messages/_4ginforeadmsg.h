#pragma once

// Reads one adapter's 4G settings. Reports the starting values with false when the call fails.

#include "tarnwick/core/messages/msgbase.h"
#include "tarnwick/core/panelrpc/panelrecords.h"

#include <string>
#include <utility>
#include <vector>

class PanelRpcClient;

class _4GInfoReadMsg : public MsgBase {
    Q_OBJECT
public:
    _4GInfoReadMsg(PanelRpcClient* client, int adapter);
    ~_4GInfoReadMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc, st4GConnectInfo info);

private:
    PanelRpcClient* m_client;
    int m_adapter;
};
