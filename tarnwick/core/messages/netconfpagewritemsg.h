#pragma once

// Writes a network settings page back: the common settings of a plain
// adapter, or by adapter kind the 4G settings, or the Wi-Fi work mode with
// the Wi-Fi client or hotspot settings. One final Complete with the text of
// the last write.

#include "tarnwick/core/messages/_4ginfowritemsg.h"
#include "tarnwick/core/messages/adapterwritemsg.h"
#include "tarnwick/core/messages/hotspotinfowritemsg.h"
#include "tarnwick/core/messages/msgbase.h"
#include "tarnwick/core/messages/wifiinfowritemsg.h"
#include "tarnwick/core/messages/wifimodewritemsg.h"

class NetConfPageWriteMsg : public MsgBase {
    Q_OBJECT
public:
    NetConfPageWriteMsg(PanelRpcClient* client, const stAdapterCommonInfo& adapterInfo, const st4GConnectInfo& _4gInfo,
                        const stWifiConnectInfo& wifiInfo, const stWifiHotspotInfo& hotspotInfo, int adapter,
                        int workMode);
    ~NetConfPageWriteMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc, QString strErrMsg);

protected slots:
    void AdapterCommInfoWriteComplete(bool bSuc, QString strErrMsg);
    void _4GInfoWriteComplete(bool bSuc, QString strErrMsg);
    void WifiModeWriteComplete(bool bSuc, QString strErrMsg);
    void WifiInfoWriteComplete(bool bSuc, QString strErrMsg);
    void HotspotInfoWriteComplete(bool bSuc, QString strErrMsg);

private:
    int m_adapter;
    int m_workMode;
    AdapterWriteMsg m_adapterWrite;
    _4GInfoWriteMsg m_4gWrite;
    WifiModeWriteMsg m_wifiModeWrite;
    WifiInfoWriteMsg m_wifiInfoWrite;
    HotspotInfoWriteMsg m_hotspotWrite;
    stAdapterCommonInfo m_adapterInfo;
    st4GConnectInfo m_4gInfo;
    stWifiConnectInfo m_wifiInfo;
    stWifiHotspotInfo m_hotspotInfo;
};
