#include "tarnwick/core/messages/netconfpagewritemsg.h"

#include "tarnwick/core/panelrpc/panelconstants.h"

NetConfPageWriteMsg::NetConfPageWriteMsg(PanelRpcClient* client, const stAdapterCommonInfo& adapterInfo,
                                         const st4GConnectInfo& _4gInfo, const stWifiConnectInfo& wifiInfo,
                                         const stWifiHotspotInfo& hotspotInfo, int adapter, int workMode)
    : m_adapter(adapter)
    , m_workMode(workMode)
    , m_adapterWrite(client, adapter, adapterInfo)
    , m_4gWrite(client, adapter, _4gInfo)
    , m_wifiModeWrite(client, adapter, workMode)
    , m_wifiInfoWrite(client, adapter, wifiInfo)
    , m_hotspotWrite(client, adapter, hotspotInfo)
    , m_adapterInfo(adapterInfo)
    , m_4gInfo(_4gInfo)
    , m_wifiInfo(wifiInfo)
    , m_hotspotInfo(hotspotInfo)
{
}

NetConfPageWriteMsg::~NetConfPageWriteMsg() = default;

void NetConfPageWriteMsg::Run()
{
    if (m_adapterInfo.kind == AdapterPlain) {
        connect(&m_adapterWrite, &AdapterWriteMsg::Complete, this, &NetConfPageWriteMsg::AdapterCommInfoWriteComplete,
                Qt::DirectConnection);
        m_adapterWrite.Run();
        return;
    }
    // 4G and Wi-Fi adapters keep their common settings.
    AdapterCommInfoWriteComplete(true, Tarnwick::PanelConstants::textSaved());
}

void NetConfPageWriteMsg::AdapterCommInfoWriteComplete(bool bSuc, QString strErrMsg)
{
    if (!bSuc) {
        emit Complete(false, strErrMsg);
    } else if (m_adapterInfo.kind == Adapter4G) {
        connect(&m_4gWrite, &_4GInfoWriteMsg::Complete, this, &NetConfPageWriteMsg::_4GInfoWriteComplete,
                Qt::DirectConnection);
        m_4gWrite.Run();
    } else if (m_adapterInfo.kind == AdapterWifi) {
        connect(&m_wifiModeWrite, &WifiModeWriteMsg::Complete, this, &NetConfPageWriteMsg::WifiModeWriteComplete,
                Qt::DirectConnection);
        m_wifiModeWrite.Run();
    } else {
        emit Complete(true, strErrMsg);
    }
}

void NetConfPageWriteMsg::WifiModeWriteComplete(bool bSuc, QString strErrMsg)
{
    if (!bSuc) {
        emit Complete(false, strErrMsg);
    } else if (m_workMode == WifiModeClient) {
        connect(&m_wifiInfoWrite, &WifiInfoWriteMsg::Complete, this, &NetConfPageWriteMsg::WifiInfoWriteComplete,
                Qt::DirectConnection);
        m_wifiInfoWrite.Run();
    } else if (m_workMode == WifiModeHotspot) {
        connect(&m_hotspotWrite, &HotspotInfoWriteMsg::Complete, this, &NetConfPageWriteMsg::HotspotInfoWriteComplete,
                Qt::DirectConnection);
        m_hotspotWrite.Run();
    } else {
        emit Complete(true, strErrMsg);
    }
}

void NetConfPageWriteMsg::_4GInfoWriteComplete(bool bSuc, QString strErrMsg)
{
    emit Complete(bSuc, strErrMsg);
}

void NetConfPageWriteMsg::WifiInfoWriteComplete(bool bSuc, QString strErrMsg)
{
    _4GInfoWriteComplete(bSuc, strErrMsg);
}

void NetConfPageWriteMsg::HotspotInfoWriteComplete(bool bSuc, QString strErrMsg)
{
    _4GInfoWriteComplete(bSuc, strErrMsg);
}
