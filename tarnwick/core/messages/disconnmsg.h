#pragma once

// Drops the shared panel client's connection.

#include "tarnwick/core/messages/msgbase.h"

class PanelRpcClient;

class DisconnMsg : public MsgBase {
    Q_OBJECT
public:
    explicit DisconnMsg(PanelRpcClient* client);
    ~DisconnMsg() override;

    void Run() override;

signals:
    void Complete();

private:
    PanelRpcClient* m_client;
};
