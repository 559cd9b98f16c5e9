#pragma once

// Asks whether the panel's project is password-protected (true also when the panel cannot be asked), then whether the client is online.

#include "tarnwick/core/messages/msgbase.h"

class PanelRpcClient;

class QueryLoginMsg : public MsgBase {
    Q_OBJECT
public:
    explicit QueryLoginMsg(PanelRpcClient* client);
    ~QueryLoginMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc, bool bNeedCheck);

private:
    PanelRpcClient* m_client;
};
