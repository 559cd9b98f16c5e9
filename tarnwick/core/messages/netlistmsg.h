#pragma once

// Reads the panel's adapters: names and adapter numbers. Reports the starting values with false when the call fails.

#include "tarnwick/core/messages/msgbase.h"
#include "tarnwick/core/panelrpc/panelrecords.h"

#include <string>
#include <utility>
#include <vector>

class PanelRpcClient;

class NetListMsg : public MsgBase {
    Q_OBJECT
public:
    explicit NetListMsg(PanelRpcClient* client);
    ~NetListMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc, std::vector<std::pair<std::string, int>> adapters);

private:
    PanelRpcClient* m_client;
};
