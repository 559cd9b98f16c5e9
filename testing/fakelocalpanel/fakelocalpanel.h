#pragma once

// A panel as the local page sees it, on a loopback address: its RPC service
// on port 9009 with the three methods of the device probe, answers that tests
// can bend (a holder of the bridge, no "bridgeStatus", a wrong type name, a
// record one field short, a failing "getProductSn").

#include "testing/fakepanel/fakepanelservice.h"

#include <atomic>
#include <mutex>
#include <string>

class FakeLocalPanel {
public:
    static constexpr uint16_t kServicePort = 9009;

    // Host `host` of this process's own loopback network, 127.A.B.host with
    // A.B taken from the process id: the port is the panel's and fixed, so
    // suites that run at the same time on one machine need addresses apart.
    // The text lives as long as the process.
    static const char* address(int host);

    FakeLocalPanel(const std::string& address, const std::string& serial, const std::string& name);

    // Bridge status: 0 free; otherwise held by holder.
    void setBridge(uint32_t status, const std::string& holder);
    void removeBridgeStatus();
    void setVpnInfoTypeName(const std::string& typeName);
    void setVpnInfoShort(bool shortRecord);
    void setSerialFails(bool fails);
    int calls() const { return m_calls.load(); }

    Fake::FakePanelService& service() { return m_service; }

private:
    std::vector<uint8_t> vpnInfoFields() const;

    Fake::FakePanelService m_service;
    mutable std::mutex m_mutex;
    std::string m_serial;
    std::string m_name;
    uint32_t m_bridgeStatus = 0;
    std::string m_holder;
    std::string m_vpnTypeName = "DeviceVPNInfo";
    bool m_vpnShort = false;
    bool m_serialFails = false;
    std::atomic<int> m_calls{0};
};
