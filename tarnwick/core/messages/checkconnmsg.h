#pragma once

// Tells whether a panel address accepts connections, without touching the client's connection.

#include "tarnwick/core/messages/msgbase.h"

#include "framework/net/address.h"

class PanelRpcClient;

class CheckConnMsg : public MsgBase {
    Q_OBJECT
public:
    CheckConnMsg(PanelRpcClient* client, const FF::Net::Address& address);
    ~CheckConnMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc);

private:
    PanelRpcClient* m_client;
    FF::Net::Address m_address;
};
