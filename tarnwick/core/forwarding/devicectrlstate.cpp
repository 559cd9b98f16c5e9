#include "tarnwick/core/forwarding/devicectrlstate.h"

#include "tarnwick/core/forwarding/localnetforwardmanager.h"

void DeviceCtrlState::startForwarding(LocalNetForwardManager* manager, const QString& deviceAccessIP,
                                      const QString& deviceLanIP)
{
    manager->_setState(LocalNetForwardManager::kStatePending);
    const bool ok = manager->_startNetForward(deviceAccessIP, deviceLanIP);
    manager->_setState(ok ? LocalNetForwardManager::kStateStart : LocalNetForwardManager::kStateStop);
}

void DeviceCtrlState::start(const QString&, const QString&) {}

void DeviceCtrlState::stop(bool) {}

void DeviceCtrlState::beat() {}

void DeviceStartState::start(const QString& deviceAccessIP, const QString& deviceLanIP)
{
    if (deviceAccessIP == m_manager->deviceIp())
        return;
    startForwarding(m_manager, deviceAccessIP, deviceLanIP);
}

void DeviceStartState::stop(bool emitSignal)
{
    m_manager->_setState(LocalNetForwardManager::kStatePending);
    m_manager->_stopNetForward(emitSignal);
    m_manager->_setState(LocalNetForwardManager::kStateStop);
}

void DeviceStartState::beat()
{
    if (!m_manager->_sendHeartbeats())
        m_manager->_setState(LocalNetForwardManager::kStateStop);
}

void DeviceStopState::start(const QString& deviceAccessIP, const QString& deviceLanIP)
{
    startForwarding(m_manager, deviceAccessIP, deviceLanIP);
}
