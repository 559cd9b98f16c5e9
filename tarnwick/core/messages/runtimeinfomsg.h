#pragma once

// Reads the panel's runtime texts. Reports the starting values with false when the call fails.

#include "tarnwick/core/messages/msgbase.h"
#include "tarnwick/core/panelrpc/panelrecords.h"

#include <string>
#include <utility>
#include <vector>

class PanelRpcClient;

class RunTimeInfoMsg : public MsgBase {
    Q_OBJECT
public:
    explicit RunTimeInfoMsg(PanelRpcClient* client);
    ~RunTimeInfoMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc, stRunTimeInfo info);

private:
    PanelRpcClient* m_client;
};
