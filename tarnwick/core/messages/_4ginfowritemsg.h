#pragma once

// Writes one adapter's 4G settings. Reports "保存成功", "保存失败" (the panel refused) or
// "网络通讯失败" (the call failed).

#include "tarnwick/core/messages/msgbase.h"
#include "tarnwick/core/panelrpc/panelrecords.h"

#include <QString>

class PanelRpcClient;

class _4GInfoWriteMsg : public MsgBase {
    Q_OBJECT
public:
    _4GInfoWriteMsg(PanelRpcClient* client, int adapter, const st4GConnectInfo& info);
    ~_4GInfoWriteMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc, QString strErrMsg);

private:
    PanelRpcClient* m_client;
    int m_adapter;
    st4GConnectInfo m_info;
};
