#pragma once

// Reads one adapter's Wi-Fi hotspot settings. Reports the starting values with false when the call fails.

#include "tarnwick/core/messages/msgbase.h"
#include "tarnwick/core/panelrpc/panelrecords.h"

#include <string>
#include <utility>
#include <vector>

class PanelRpcClient;

class HotspotInfoReadMsg : public MsgBase {
    Q_OBJECT
public:
    HotspotInfoReadMsg(PanelRpcClient* client, int adapter);
    ~HotspotInfoReadMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc, stWifiHotspotInfo info);

private:
    PanelRpcClient* m_client;
    int m_adapter;
};
