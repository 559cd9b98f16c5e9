#pragma once

// Reads one adapter's Wi-Fi work mode (0 client, 1 hotspot). Reports the starting values with false when the call fails.

#include "tarnwick/core/messages/msgbase.h"
#include "tarnwick/core/panelrpc/panelrecords.h"

#include <string>
#include <utility>
#include <vector>

class PanelRpcClient;

class WifiModeReadMsg : public MsgBase {
    Q_OBJECT
public:
    WifiModeReadMsg(PanelRpcClient* client, int adapter);
    ~WifiModeReadMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc, int mode);

private:
    PanelRpcClient* m_client;
    int m_adapter;
};
