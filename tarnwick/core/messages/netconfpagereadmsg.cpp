#include "tarnwick/core/messages/netconfpagereadmsg.h"

namespace {

// Puts a fresh step for adapter into slot, runs it, and delivers its
// Complete directly to slotFn on this thread.
template <class Step, class Owner, class Slot>
void runStep(std::unique_ptr<Step>& slot, PanelRpcClient* client, int adapter, Owner* owner, Slot slotFn)
{
    slot = std::make_unique<Step>(client, adapter);
    QObject::connect(slot.get(), &Step::Complete, owner, slotFn, Qt::DirectConnection);
    slot->Run();
}

} // namespace

NetConfPageReadMsg::NetConfPageReadMsg(PanelRpcClient* client, QString strAdapterName, QString strWifiName, int adapter)
    : m_client(client)
    , m_adapter(adapter)
    , m_adapterName(std::move(strAdapterName))
    , m_wifiName(std::move(strWifiName))
    , m_netList(client)
{
}

NetConfPageReadMsg::~NetConfPageReadMsg() = default;

void NetConfPageReadMsg::Run()
{
    if (m_adapterName.isEmpty()) {
        connect(&m_netList, &NetListMsg::Complete, this, &NetConfPageReadMsg::NetListReadComplete,
                Qt::DirectConnection);
        m_netList.Run();
        return;
    }
    readAdapter();
}

void NetConfPageReadMsg::readAdapter()
{
    runStep(m_adapterRead, m_client, m_adapter, this, &NetConfPageReadMsg::AdapterReadComplete);
}

void NetConfPageReadMsg::fail()
{
    emit Complete(false);
}

void NetConfPageReadMsg::NetListReadComplete(bool bSuc, std::vector<std::pair<std::string, int>> adapters)
{
    if (!bSuc)
        return fail();
    if (adapters.empty()) {
        emit Complete(true);
        return;
    }
    m_adapterName = QString::fromStdString(adapters.front().first);
    m_adapter = adapters.front().second;
    emit Complete(true, adapters);
    readAdapter();
}

void NetConfPageReadMsg::AdapterReadComplete(bool bSuc, stAdapterCommonInfo info)
{
    if (!bSuc)
        return fail();
    m_adapterInfo = info;
    switch (info.kind) {
    case AdapterPlain: emit Complete(true, m_adapterName, info); return;
    case Adapter4G:
        emit Complete(true, m_adapterName, info);
        runStep(m_4gRead, m_client, m_adapter, this, &NetConfPageReadMsg::_4GConnectInfoReadComplete);
        return;
    case AdapterWifi:
        emit Complete(true, m_adapterName, info);
        runStep(m_wifiModeRead, m_client, m_adapter, this, &NetConfPageReadMsg::WifiModeReadComplete);
        return;
    default: fail();
    }
}

void NetConfPageReadMsg::_4GConnectInfoReadComplete(bool bSuc, st4GConnectInfo info)
{
    if (!bSuc)
        return fail();
    emit Complete(true, m_adapterName, info);
}

void NetConfPageReadMsg::WifiModeReadComplete(bool bSuc, int mode)
{
    if (!bSuc)
        return fail();
    if (mode == WifiModeHotspot)
        runStep(m_hotspotRead, m_client, m_adapter, this, &NetConfPageReadMsg::HotspotReadComplete);
    else if (mode == WifiModeClient && m_wifiName.isEmpty())
        runStep(m_wifiList, m_client, m_adapter, this, &NetConfPageReadMsg::WifiListReadComplete);
    else if (mode == WifiModeClient)
        runStep(m_wifiInfoRead, m_client, m_adapter, this, &NetConfPageReadMsg::WifiInfoReadComplete);
    else
        fail();
}

void NetConfPageReadMsg::WifiListReadComplete(bool bSuc, std::vector<std::string> ssids)
{
    if (!bSuc)
        return fail();
    if (ssids.empty()) {
        emit Complete(true);
        return;
    }
    m_wifiName = QString::fromStdString(ssids.front());
    runStep(m_wifiInfoRead, m_client, m_adapter, this, &NetConfPageReadMsg::WifiInfoReadComplete);
}

void NetConfPageReadMsg::WifiInfoReadComplete(bool bSuc, stWifiConnectInfo info)
{
    if (!bSuc)
        return fail();
    emit Complete(true, m_adapterName, m_wifiName, info);
}

void NetConfPageReadMsg::HotspotReadComplete(bool bSuc, stWifiHotspotInfo info)
{
    if (!bSuc)
        return fail();
    emit Complete(true, m_adapterName, info);
}
