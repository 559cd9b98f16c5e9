#pragma once

// Reads the panel's Wi-Fi names; the adapter number is kept but not sent. Reports the starting values with false when the call fails.

#include "tarnwick/core/messages/msgbase.h"
#include "tarnwick/core/panelrpc/panelrecords.h"

#include <string>
#include <utility>
#include <vector>

class PanelRpcClient;

class WifiListMsg : public MsgBase {
    Q_OBJECT
public:
    WifiListMsg(PanelRpcClient* client, int adapter);
    ~WifiListMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc, std::vector<std::string> info);

private:
    PanelRpcClient* m_client;
    int m_adapter;
};
