#pragma once

// Reads the panel's storage figures. Reports the starting values with false when the call fails.

#include "tarnwick/core/messages/msgbase.h"
#include "tarnwick/core/panelrpc/panelrecords.h"

#include <string>
#include <utility>
#include <vector>

class PanelRpcClient;

class SpaceInfoMsg : public MsgBase {
    Q_OBJECT
public:
    explicit SpaceInfoMsg(PanelRpcClient* client);
    ~SpaceInfoMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc, stSpaceInfo info);

private:
    PanelRpcClient* m_client;
};
