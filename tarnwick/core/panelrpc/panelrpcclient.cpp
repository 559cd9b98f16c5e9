#include "tarnwick/core/panelrpc/panelrpcclient.h"

#include "tarnwick/core/panelrpc/panelconstants.h"
#include "tarnwick/core/panelrpc/panelrecords.h"

#include "framework/net/tcpclient.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/typedcall.h"
#include "platform/exceptionlog/exceptionlog.h"

#include <QByteArray>
#include <QCryptographicHash>

using FF::RPC::tryCall;
namespace PC = Tarnwick::PanelConstants;

struct PanelRpcClient::Connection {
    FF::Net::Address address;
    std::unique_ptr<FF::RPC::DispatchClient> client;

    ~Connection()
    {
        if (client)
            client->stop();
    }
};

PanelRpcClient::PanelRpcClient() = default;

PanelRpcClient::~PanelRpcClient()
{
    disconnect();
}

bool PanelRpcClient::connect(const FF::Net::Address& address)
{
    if (m_connection) {
        if (m_connection->client->online() && m_connection->address == address)
            return true;
        disconnect();
    }
    if (!checkReachable(address))
        return false;
    auto connection = std::make_unique<Connection>();
    try {
        connection->client = std::make_unique<FF::RPC::DispatchClient>(address, FF::Net::TCPClient::NewFactory());
    } catch (...) {
        platform::reportEscapedException("PanelRpcClient::connect");
        return false;
    }
    connection->address = address;
    connection->client->setRetryMaxTimes(0);
    m_connection = std::move(connection);
    return m_connection->client->online();
}

void PanelRpcClient::disconnect()
{
    m_connection.reset();
}

bool PanelRpcClient::isOnline() const
{
    return m_connection && m_connection->client->online();
}

bool PanelRpcClient::isConnectedTo(const FF::Net::Address& address) const
{
    return isOnline() && m_connection->address == address;
}

FF::Net::Address PanelRpcClient::address() const
{
    return m_connection ? m_connection->address : FF::Net::Address();
}

bool PanelRpcClient::checkReachable(const FF::Net::Address& address)
{
    return FF::Net::TCPClient::CheckConnection(address, PC::kReachableWindowMs);
}

std::string PanelRpcClient::passwordDigest(const std::string& password)
{
    const QByteArray bytes(password.data(), static_cast<int>(password.size()));
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toStdString();
}

FF::RPC::DispatchClient* PanelRpcClient::client() const
{
    return m_connection ? m_connection->client.get() : nullptr;
}

bool PanelRpcClient::projectHasPassword()
{
    if (!m_connection)
        return false;
    bool answer = true;
    return tryCall(client(), PC::kStubTimeOutMs, "projectHasPassword", answer) ? answer : true;
}

bool PanelRpcClient::projectCheckPassword(const std::string& password)
{
    return projectPasswordAccepted(password).value_or(false);
}

std::optional<bool> PanelRpcClient::projectPasswordAccepted(const std::string& password)
{
    bool answer = false;
    if (!m_connection)
        return std::nullopt;
    const std::string digest = passwordDigest(password);
    if (!tryCall(client(), PC::kStubTimeOutMs, "projectCheckPassword", answer, digest))
        return std::nullopt;
    return answer;
}

bool PanelRpcClient::GetRunTimeInfo(stRunTimeInfo& info)
{
    return tryCall(client(), PC::kStubTimeOutMs, "GetRunTimeInfo", info);
}

bool PanelRpcClient::GetSysInfo(stSysInfo& info)
{
    return tryCall(client(), PC::kStubTimeOutMs, "GetSysInfo", info);
}

bool PanelRpcClient::GetSpaceInfo(stSpaceInfo& info)
{
    return tryCall(client(), PC::kStubTimeOutMs, "GetSpaceInfo", info);
}

bool PanelRpcClient::GetNetworkAdapterCommonInfo(int adapter, stAdapterCommonInfo& info)
{
    return tryCall(client(), PC::kStubTimeOutMs, "GetNetworkAdapterCommonInfo", info, adapter);
}

bool PanelRpcClient::Get4GConnectInfo(int adapter, st4GConnectInfo& info)
{
    return tryCall(client(), PC::kStubTimeOutMs, "Get4GConnectInfo", info, adapter);
}

bool PanelRpcClient::GetWifiConnectInfo(int adapter, stWifiConnectInfo& info)
{
    return tryCall(client(), PC::kStubTimeOutMs, "GetWifiConnectInfo", info, adapter);
}

bool PanelRpcClient::Get_WifiHotspotInfo(int adapter, stWifiHotspotInfo& info)
{
    return tryCall(client(), PC::kStubTimeOutMs, "Get_WifiHotspotInfo", info, adapter);
}

bool PanelRpcClient::Get_Wifi_WorkMode(int adapter, int& mode)
{
    return tryCall(client(), PC::kStubTimeOutMs, "Get_Wifi_WorkMode", mode, adapter);
}

bool PanelRpcClient::SetNetworkAdapterCommonInfo(int adapter, const stAdapterCommonInfo& info, int& result)
{
    return tryCall(client(), PC::kStubTimeOutMs, "SetNetworkAdapterCommonInfo", result, adapter, info);
}

bool PanelRpcClient::Set4GConnectInfo(int adapter, const st4GConnectInfo& info, int& result)
{
    return tryCall(client(), PC::kStubTimeOutMs, "Set4GConnectInfo", result, adapter, info);
}

bool PanelRpcClient::SetWifiConnectInfo(int adapter, const stWifiConnectInfo& info, int& result)
{
    return tryCall(client(), PC::kStubTimeOutMs, "SetWifiConnectInfo", result, adapter, info);
}

bool PanelRpcClient::Set_WifiHotspotInfo(int adapter, const stWifiHotspotInfo& info, int& result)
{
    return tryCall(client(), PC::kStubTimeOutMs, "Set_WifiHotspotInfo", result, adapter, info);
}

bool PanelRpcClient::Set_Wifi_WorkMode(int adapter, int mode, int& result)
{
    return tryCall(client(), PC::kStubTimeOutMs, "Set_Wifi_WorkMode", result, adapter, mode);
}

bool PanelRpcClient::DownloadMrcFile(const mrcInfo& info, int& result)
{
    return tryCall(client(), PC::kMrcTimeOutMs, "DownloadMrcFile", result, info);
}

bool PanelRpcClient::GetNetworkAdapters(std::vector<std::pair<std::string, int>>& adapters)
{
    return tryCall(client(), PC::kStubTimeOutMs, "GetNetworkAdapters", adapters);
}

bool PanelRpcClient::GetWifiAdapters(std::vector<std::string>& names)
{
    return tryCall(client(), PC::kStubTimeOutMs, "GetWifiAdapters", names);
}
