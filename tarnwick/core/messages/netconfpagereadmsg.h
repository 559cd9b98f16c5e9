#pragma once

// Reads what a network settings page shows for one adapter: the adapter list
// when no adapter is named, the adapter's common settings, then by its kind
// the 4G settings, or the Wi-Fi work mode with the Wi-Fi client (the first
// listed network when no Wi-Fi name is given) or hotspot settings. Partial
// results are reported as they arrive; a failed step ends with Complete(false).

#include "tarnwick/core/messages/_4ginforeadmsg.h"
#include "tarnwick/core/messages/adapterreadmsg.h"
#include "tarnwick/core/messages/hotspotinforeadmsg.h"
#include "tarnwick/core/messages/msgbase.h"
#include "tarnwick/core/messages/netlistmsg.h"
#include "tarnwick/core/messages/wifiinforeadmsg.h"
#include "tarnwick/core/messages/wifilistmsg.h"
#include "tarnwick/core/messages/wifimodereadmsg.h"

#include <QString>

#include <memory>

class NetConfPageReadMsg : public MsgBase {
    Q_OBJECT
public:
    NetConfPageReadMsg(PanelRpcClient* client, QString strAdapterName, QString strWifiName, int adapter);
    ~NetConfPageReadMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc);
    void Complete(bool bSuc, std::vector<std::pair<std::string, int>> adapters);
    void Complete(bool bSuc, QString strAdapterName, std::vector<std::string> ssids);
    void Complete(bool bSuc, QString strAdapterName, stAdapterCommonInfo info);
    void Complete(bool bSuc, QString strAdapterName, st4GConnectInfo _4gInfo);
    void Complete(bool bSuc, QString strAdapterName, stWifiHotspotInfo hotspotInfo);
    void Complete(bool bSuc, QString strAdapterName, QString strWifiName, stWifiConnectInfo wifiInfo);

protected slots:
    void NetListReadComplete(bool bSuc, std::vector<std::pair<std::string, int>> adapters);
    void AdapterReadComplete(bool bSuc, stAdapterCommonInfo info);
    void _4GConnectInfoReadComplete(bool bSuc, st4GConnectInfo info);
    void WifiListReadComplete(bool bSuc, std::vector<std::string> ssids);
    void WifiModeReadComplete(bool bSuc, int mode);
    void WifiInfoReadComplete(bool bSuc, stWifiConnectInfo info);
    void HotspotReadComplete(bool bSuc, stWifiHotspotInfo info);

private:
    void readAdapter();
    void fail();

    PanelRpcClient* m_client;
    int m_adapter;
    QString m_adapterName;
    QString m_wifiName;
    NetListMsg m_netList;
    std::unique_ptr<AdapterReadMsg> m_adapterRead;
    std::unique_ptr<_4GInfoReadMsg> m_4gRead;
    std::unique_ptr<WifiModeReadMsg> m_wifiModeRead;
    std::unique_ptr<WifiInfoReadMsg> m_wifiInfoRead;
    std::unique_ptr<WifiListMsg> m_wifiList;
    std::unique_ptr<HotspotInfoReadMsg> m_hotspotRead;
    stAdapterCommonInfo m_adapterInfo;
};
