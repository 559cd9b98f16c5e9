#include "testing/fakelocalpanel/fakelocalpanel.h"

#include "testing/fakepanel/wirewriter.h"

#include <unistd.h>

#include <map>

const char* FakeLocalPanel::address(int host)
{
    static std::mutex mutex;
    static std::map<int, std::string> texts;
    std::lock_guard<std::mutex> lock(mutex);
    std::string& text = texts[host];
    if (text.empty()) {
        // A in 1..254 (never 127.0.x.x, never the broadcast 127.255.255.255).
        const unsigned pid = static_cast<unsigned>(::getpid());
        text = "127." + std::to_string(1 + (pid >> 8) % 254) + "." + std::to_string(pid & 255) + "."
               + std::to_string(host);
    }
    return text.c_str();
}

FakeLocalPanel::FakeLocalPanel(const std::string& address, const std::string& serial, const std::string& name)
    : m_service(address, kServicePort)
    , m_serial(serial)
    , m_name(name)
{
    m_service.addMethod("getDeviceVPNInfo", [this](Fake::MethodArgs&, Fake::MethodResult& result) {
        ++m_calls;
        std::lock_guard<std::mutex> lock(m_mutex);
        result.addRecord(m_vpnTypeName, vpnInfoFields());
    });
    m_service.addMethod("getProductSn", [this](Fake::MethodArgs&, Fake::MethodResult& result) {
        ++m_calls;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_serialFails)
            result.setStatus(2); // InvokingFailed
        else
            result.addString(m_serial);
    });
    setBridge(0, "");
}

std::vector<uint8_t> FakeLocalPanel::vpnInfoFields() const
{
    Fake::WireWriter fields;
    fields.u32(1).string("vpn-text").u32(2).string(m_name);
    if (!m_vpnShort)
        fields.string("vpn-text-3").u32(3);
    else
        fields.string("vpn-text-3");
    return fields.take();
}

void FakeLocalPanel::setBridge(uint32_t status, const std::string& holder)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bridgeStatus = status;
        m_holder = holder;
    }
    m_service.addMethod("bridgeStatus", [this](Fake::MethodArgs&, Fake::MethodResult& result) {
        ++m_calls;
        std::lock_guard<std::mutex> lock(m_mutex);
        result.addRecord("BridgeStatus", Fake::WireWriter().u32(m_bridgeStatus).string(m_holder).take());
    });
}

void FakeLocalPanel::removeBridgeStatus()
{
    m_service.removeMethod("bridgeStatus");
}

void FakeLocalPanel::setVpnInfoTypeName(const std::string& typeName)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vpnTypeName = typeName;
}

void FakeLocalPanel::setVpnInfoShort(bool shortRecord)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vpnShort = shortRecord;
}

void FakeLocalPanel::setSerialFails(bool fails)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_serialFails = fails;
}
