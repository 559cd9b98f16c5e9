#pragma once

// Writes one adapter's Wi-Fi work mode. Reports "保存成功", "保存失败" (the panel refused) or
// "网络通讯失败" (the call failed).

#include "tarnwick/core/messages/msgbase.h"
#include "tarnwick/core/panelrpc/panelrecords.h"

#include <QString>

class PanelRpcClient;

class WifiModeWriteMsg : public MsgBase {
    Q_OBJECT
public:
    WifiModeWriteMsg(PanelRpcClient* client, int adapter, int mode);
    ~WifiModeWriteMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc, QString strErrMsg);

private:
    PanelRpcClient* m_client;
    int m_adapter;
    int m_mode;
};
