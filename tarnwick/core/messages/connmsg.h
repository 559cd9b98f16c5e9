#pragma once

// Connects the shared panel client to an address (reusing an online connection to it).

#include "tarnwick/core/messages/msgbase.h"

#include "framework/net/address.h"

class PanelRpcClient;

class ConnMsg : public MsgBase {
    Q_OBJECT
public:
    ConnMsg(PanelRpcClient* client, const FF::Net::Address& address);
    ~ConnMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc);

private:
    PanelRpcClient* m_client;
    FF::Net::Address m_address;
};
