#include "tarnwick/core/panelrpc/localdeviceobject.h"

#include "tarnwick/core/panelrpc/panelconstants.h"
#include "tarnwick/core/panelrpc/panelrecords.h"

#include "framework/net/tcpclient.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/typedcall.h"
#include "platform/exceptionlog/exceptionlog.h"

#include <QDebug>
#include <QReadLocker>
#include <QRegExp>
#include <QTimer>
#include <QWriteLocker>

namespace PC = Tarnwick::PanelConstants;
using FF::RPC::call;

namespace {

// Panel texts are UTF-8 bytes, cut at the first zero byte.
QString panelText(const std::string& bytes)
{
    return QString::fromUtf8(bytes.c_str());
}

std::unique_ptr<FF::RPC::DispatchClient> openClient(const QString& ip, unsigned int port)
{
    const QByteArray text = QStringLiteral("%1:%2").arg(ip).arg(port).toLocal8Bit();
    const FF::Net::Address address(text.constData());
    if (!FF::Net::TCPClient::CheckConnection(address, PC::kSessionCheckMs))
        return nullptr;
    return std::make_unique<FF::RPC::DispatchClient>(address, FF::Net::TCPClient::NewFactory());
}

} // namespace

LocalDeviceObject::LocalDeviceObject()
    : QObject(nullptr)
{
    moveToThread(&m_thread);
    connect(&m_thread, &QThread::started, this, &LocalDeviceObject::slotThreadStarted);
    connect(this, &LocalDeviceObject::signalThreadSafetyStop, this, &LocalDeviceObject::slotThreadSafetyStop,
            Qt::BlockingQueuedConnection);
    connect(this, &LocalDeviceObject::signalBindDevice, this, &LocalDeviceObject::slotBindDevice);
    connect(this, &LocalDeviceObject::signalUnBindDevice, this, &LocalDeviceObject::slotUnBindDevice);
    connect(this, &LocalDeviceObject::signalManualRefresh, this, &LocalDeviceObject::slotManualRefresh);
    m_thread.start(QThread::InheritPriority);
}

LocalDeviceObject::~LocalDeviceObject()
{
    unbindDevice();
    emit signalThreadSafetyStop();
    m_thread.quit();
    m_thread.wait();
}

bool LocalDeviceObject::isValidAddress(const QString& ip)
{
    static const QString octet = QStringLiteral("(\\d{1,2}|1\\d\\d|2[0-4]\\d|25[0-5])");
    static const QRegExp pattern(QStringLiteral("^%1\\.%1\\.%1\\.%1$").arg(octet));
    QRegExp matcher(pattern);
    return matcher.exactMatch(ip);
}

bool LocalDeviceObject::bindDevice(const QString& ip)
{
    if (!isValidAddress(ip))
        return false;
    bool start = false;
    {
        QMutexLocker lock(&m_stateMutex);
        if (m_bindState == Idle) {
            ++m_bindGeneration;
            m_bindState = Binding;
            start = true;
        }
    }
    if (start)
        emit signalBindDevice(ip);
    return true;
}

void LocalDeviceObject::unbindDevice()
{
    {
        QMutexLocker lock(&m_stateMutex);
        m_bindState = Idle;
    }
    emit signalUnBindDevice();
}

void LocalDeviceObject::manualRefresh()
{
    emit signalManualRefresh();
}

QString LocalDeviceObject::deviceIp() const
{
    QReadLocker lock(&m_dataLock);
    return m_deviceIp;
}

QString LocalDeviceObject::iccid() const
{
    QReadLocker lock(&m_dataLock);
    return m_iccid;
}

QString LocalDeviceObject::productSn() const
{
    QReadLocker lock(&m_dataLock);
    return m_productSn;
}

QString LocalDeviceObject::vpnInfoText1() const
{
    QReadLocker lock(&m_dataLock);
    return m_vpnText1;
}

QString LocalDeviceObject::vpnInfoText2() const
{
    QReadLocker lock(&m_dataLock);
    return m_vpnText2;
}

int LocalDeviceObject::vpnState() const
{
    QReadLocker lock(&m_dataLock);
    return m_vpnState;
}

int LocalDeviceObject::bindState() const
{
    QMutexLocker lock(&m_stateMutex);
    return m_bindState;
}

void LocalDeviceObject::slotThreadStarted()
{
    m_refreshTimer = std::make_unique<QTimer>();
    connect(m_refreshTimer.get(), &QTimer::timeout, this, &LocalDeviceObject::slotRefreshTimeout);
    m_refreshTimer->setSingleShot(true);
}

void LocalDeviceObject::slotBindDevice(const QString& ip)
{
    std::uint64_t generation = 0;
    {
        QMutexLocker lock(&m_stateMutex);
        if (m_bindState != Binding)
            return; // overtaken by an unbind
        generation = m_bindGeneration;
    }
    {
        QWriteLocker lock(&m_dataLock);
        m_deviceIp = ip;
    }

    bool ok = false;
    try {
        m_client9059 = openClient(ip, PC::kSessionPort);
        if (m_client9059)
            m_client9009 = openClient(ip, PC::kServicePort);
        ok = m_client9059 && m_client9009 && refreshData();
    } catch (...) {
        platform::reportEscapedException("LocalDeviceObject connect");
        ok = false;
    }
    if (!ok) {
        // Nothing read before the failure stays behind; the address does.
        clearData();
        closeClients();
    }

    bool report = false;
    {
        QMutexLocker lock(&m_stateMutex);
        if (m_bindState == Binding && m_bindGeneration == generation) {
            if (ok) {
                if (m_refreshTimer)
                    m_refreshTimer->start(PC::kRefreshIntervalMs);
                m_bindState = Bound;
            } else {
                m_bindState = Idle;
            }
            report = true;
        }
    }
    // Emitted outside the state mutex: a directly connected receiver may read the state.
    if (report)
        emit signalBindFinished(ok, ok ? 0 : 1);
}

bool LocalDeviceObject::refreshData()
{
    try {
        if (m_client9059) {
            FF::RPC::SyncProxy proxy(m_client9059.get());
            call<int>(proxy, PC::kReloadTimeOutMs, "reloadData");
            const FF::utils::String iccid = call<FF::utils::String>(proxy, PC::kIccidTimeOutMs, "getICCID");
            QWriteLocker lock(&m_dataLock);
            m_iccid = panelText(iccid);
        }
        if (!m_client9009)
            return true;
        FF::RPC::SyncProxy proxy(m_client9009.get());
        const auto sn = call<FF::utils::String>(proxy, PC::kSessionCallTimeOutMs, "getProductSn");
        {
            QWriteLocker lock(&m_dataLock);
            m_productSn = panelText(sn);
        }
        const auto vpnInfo = call<DeviceVPNInfo>(proxy, PC::kSessionCallTimeOutMs, "getDeviceVPNInfo");
        {
            QWriteLocker lock(&m_dataLock);
            m_vpnText1 = panelText(vpnInfo.text2);
            m_vpnText2 = panelText(vpnInfo.text3);
        }
        const int state = call<int>(proxy, PC::kSessionCallTimeOutMs, "getVpnState");
        QWriteLocker lock(&m_dataLock);
        m_vpnState = state;
        return true;
    } catch (...) {
        platform::reportEscapedException("LocalDeviceObject::refreshData");
        return false;
    }
}

void LocalDeviceObject::slotRefreshTimeout()
{
    const bool ok = refreshData();
    bool updated = false;
    bool disconnected = false;
    {
        QMutexLocker lock(&m_stateMutex);
        if (m_bindState == Bound) {
            if (ok) {
                qDebug() << PC::kLogAutoRefresh;
                if (m_refreshTimer)
                    m_refreshTimer->start(PC::kRefreshIntervalMs);
                updated = true;
            } else {
                qDebug() << PC::kLogDisconnected;
                dropSession();
                disconnected = true;
            }
        }
    }
    if (updated)
        emit signalDataUpdated();
    if (disconnected)
        emit signalDisconnected();
}

void LocalDeviceObject::slotManualRefresh()
{
    {
        QMutexLocker lock(&m_stateMutex);
        if (m_bindState != Bound || !m_refreshTimer || !m_client9059 || !m_client9009)
            return;
        m_refreshTimer->stop();
    }
    slotRefreshTimeout();
}

void LocalDeviceObject::slotUnBindDevice()
{
    dropSession();
}

void LocalDeviceObject::dropSession()
{
    if (m_refreshTimer)
        m_refreshTimer->stop();
    clearData();
    closeClients();
}

void LocalDeviceObject::clearData()
{
    QWriteLocker lock(&m_dataLock);
    m_iccid.clear();
    m_vpnText2.clear();
    m_productSn.clear();
    m_vpnText1.clear();
    m_vpnState = 1;
}

void LocalDeviceObject::closeClients()
{
    for (auto* client : {&m_client9059, &m_client9009}) {
        try {
            if (*client)
                (*client)->stop();
        } catch (...) {
            platform::reportEscapedException("LocalDeviceObject client stop");
        }
        client->reset();
    }
}

void LocalDeviceObject::slotThreadSafetyStop()
{
    dropSession();
    m_refreshTimer.reset();
}
