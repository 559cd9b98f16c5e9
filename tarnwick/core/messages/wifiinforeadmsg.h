#pragma once

// Reads one adapter's Wi-Fi client settings. Reports the starting values with false when the call fails.

#include "tarnwick/core/messages/msgbase.h"
#include "tarnwick/core/panelrpc/panelrecords.h"

#include <string>
#include <utility>
#include <vector>

class PanelRpcClient;

class WifiInfoReadMsg : public MsgBase {
    Q_OBJECT
public:
    WifiInfoReadMsg(PanelRpcClient* client, int adapter);
    ~WifiInfoReadMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc, stWifiConnectInfo info);

private:
    PanelRpcClient* m_client;
    int m_adapter;
};
