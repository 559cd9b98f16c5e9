#pragma once

// The device messages' connection to one panel service, with one call stub
// per panel method. Used from the dispatcher thread only; it has no lock.

#include "tarnwick/core/panelrpc/panelrecords.h"

#include "framework/net/address.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace FF {
namespace RPC {
class DispatchClient;
}
} // namespace FF

class PanelRpcClient {
public:
    PanelRpcClient();
    ~PanelRpcClient();
    PanelRpcClient(const PanelRpcClient&) = delete;
    PanelRpcClient& operator=(const PanelRpcClient&) = delete;

    // Keeps an online connection to the same address; otherwise drops the
    // old one, probes for 1000 ms and opens a new client without automatic
    // reconnection. True when the client is online.
    bool connect(const FF::Net::Address& address);
    void disconnect();
    bool isOnline() const;
    bool isConnectedTo(const FF::Net::Address& address) const;
    // All zero when not connected.
    FF::Net::Address address() const;
    static bool checkReachable(const FF::Net::Address& address);

    // MD5 of the password's bytes as 32 lower-case hex digits: the only form
    // in which a password goes on the wire.
    static std::string passwordDigest(const std::string& password);

    // The stubs: false on any failure with the outputs untouched, except
    // projectHasPassword, which treats a panel that cannot be asked as
    // protected (but answers false without a connection).
    bool projectHasPassword();
    bool projectCheckPassword(const std::string& password);
    // What the panel answered about password, or nothing when the call
    // failed (no connection, no reply within the stub's limit, a refused or
    // broken call): a failed check, which projectCheckPassword reads as wrong.
    std::optional<bool> projectPasswordAccepted(const std::string& password);
    bool GetRunTimeInfo(stRunTimeInfo& info);
    bool GetSysInfo(stSysInfo& info);
    bool GetSpaceInfo(stSpaceInfo& info);
    bool GetNetworkAdapterCommonInfo(int adapter, stAdapterCommonInfo& info);
    bool Get4GConnectInfo(int adapter, st4GConnectInfo& info);
    bool GetWifiConnectInfo(int adapter, stWifiConnectInfo& info);
    bool Get_WifiHotspotInfo(int adapter, stWifiHotspotInfo& info);
    bool Get_Wifi_WorkMode(int adapter, int& mode);
    bool SetNetworkAdapterCommonInfo(int adapter, const stAdapterCommonInfo& info, int& result);
    bool Set4GConnectInfo(int adapter, const st4GConnectInfo& info, int& result);
    bool SetWifiConnectInfo(int adapter, const stWifiConnectInfo& info, int& result);
    bool Set_WifiHotspotInfo(int adapter, const stWifiHotspotInfo& info, int& result);
    bool Set_Wifi_WorkMode(int adapter, int mode, int& result);
    bool DownloadMrcFile(const mrcInfo& info, int& result);
    bool GetNetworkAdapters(std::vector<std::pair<std::string, int>>& adapters);
    bool GetWifiAdapters(std::vector<std::string>& names);

private:
    struct Connection;

    FF::RPC::DispatchClient* client() const;

    std::unique_ptr<Connection> m_connection;
};
