#include "tarnwick/core/panelrpc/localdeviceobject.h"

#include "tarnwick/core/panelrpc/panelconstants.h"
#include "tarnwick/core/panelrpc/panelrecords.h"

#include "framework/net/tcpclient.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/typedcall.h"
#include "framework/utils/leftrunning.h"
#include "platform/exceptionlog/exceptionlog.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QMutex>
#include <QReadLocker>
#include <QReadWriteLock>
#include <QRegExp>
#include <QThread>
#include <QTimer>
#include <QWriteLocker>

#include <cstdint>

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

struct LocalDeviceObject::Shared {
    mutable QReadWriteLock dataLock;
    QString deviceIp;
    QString iccid;
    QString productSn;
    QString vpnText1;
    QString vpnText2;
    int vpnState = 1;

    mutable QMutex stateMutex;
    int bindState = Idle;
    std::uint64_t bindGeneration = 0;

    // The object whose signals the session emits, until its destructor
    // clears it under the lock.
    QMutex ownerLock;
    LocalDeviceObject* owner = nullptr;
};

// The thread's side: the two clients, the refresh timer and every RPC call.
class LocalDeviceObject::Session : public QObject {
public:
    explicit Session(std::shared_ptr<Shared> shared)
        : m_shared(std::move(shared))
    {
    }

    void threadStarted();
    void bind(const QString& ip);
    void unbind() { dropSession(); }
    void manualRefresh();
    void refreshTimeout();
    // The unbind steps, the timer's end, then the thread's.
    void safetyStop();

private:
    bool refreshData();
    void clearData();
    void closeClients();
    // The unbind steps: stop the timer, clear the panel data, close the clients.
    void dropSession();
    // Emits the owner's signal while the owner stands.
    template <class... Args, class... Values>
    void tellOwner(void (LocalDeviceObject::*signal)(Args...), Values... values)
    {
        QMutexLocker lock(&m_shared->ownerLock);
        if (m_shared->owner)
            (m_shared->owner->*signal)(values...);
    }

    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<FF::RPC::DispatchClient> m_client9059;
    std::unique_ptr<FF::RPC::DispatchClient> m_client9009;
    std::unique_ptr<QTimer> m_refreshTimer; // made and dropped on the session's thread
};

LocalDeviceObject::LocalDeviceObject()
    : QObject(nullptr)
    , m_shared(std::make_shared<Shared>())
    , m_thread(std::make_unique<QThread>())
    , m_session(std::make_unique<Session>(m_shared))
    , m_endLimitMs(PC::kSessionEndLimitMs)
{
    m_shared->owner = this;
    Session* const session = m_session.get();
    session->moveToThread(m_thread.get());
    connect(m_thread.get(), &QThread::started, session, &Session::threadStarted);
    connect(this, &LocalDeviceObject::signalThreadSafetyStop, session, &Session::safetyStop);
    connect(this, &LocalDeviceObject::signalBindDevice, session, &Session::bind);
    connect(this, &LocalDeviceObject::signalUnBindDevice, session, &Session::unbind);
    connect(this, &LocalDeviceObject::signalManualRefresh, session, &Session::manualRefresh);
    m_thread->start(QThread::InheritPriority);
}

LocalDeviceObject::~LocalDeviceObject()
{
    unbindDevice();
    {
        // From here on nothing the session does reaches this object.
        QMutexLocker lock(&m_shared->ownerLock);
        m_shared->owner = nullptr;
    }
    // Queued after the unbind, behind the slot under way; it ends the thread.
    emit signalThreadSafetyStop();
    if (m_thread->wait(QDeadlineTimer(m_endLimitMs))) {
        m_session.reset();
        m_thread.reset();
        return;
    }
    qWarning().noquote() << "LocalDeviceObject: the session with" << deviceIp() << "still works" << m_endLimitMs
                         << "ms after its end was asked (a bind or a refresh): left running";
    // It ends by itself after that slot, with the safety stop queued behind
    // it; the thread and the session stay until then, and go after it.
    FF::utils::LeftRunning::keepThread(std::move(m_thread), std::shared_ptr<Session>(std::move(m_session)),
                                       "a panel session");
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
        QMutexLocker lock(&m_shared->stateMutex);
        if (m_shared->bindState == Idle) {
            ++m_shared->bindGeneration;
            m_shared->bindState = Binding;
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
        QMutexLocker lock(&m_shared->stateMutex);
        m_shared->bindState = Idle;
    }
    emit signalUnBindDevice();
}

void LocalDeviceObject::manualRefresh()
{
    emit signalManualRefresh();
}

QString LocalDeviceObject::deviceIp() const
{
    QReadLocker lock(&m_shared->dataLock);
    return m_shared->deviceIp;
}

QString LocalDeviceObject::iccid() const
{
    QReadLocker lock(&m_shared->dataLock);
    return m_shared->iccid;
}

QString LocalDeviceObject::productSn() const
{
    QReadLocker lock(&m_shared->dataLock);
    return m_shared->productSn;
}

QString LocalDeviceObject::vpnInfoText1() const
{
    QReadLocker lock(&m_shared->dataLock);
    return m_shared->vpnText1;
}

QString LocalDeviceObject::vpnInfoText2() const
{
    QReadLocker lock(&m_shared->dataLock);
    return m_shared->vpnText2;
}

int LocalDeviceObject::vpnState() const
{
    QReadLocker lock(&m_shared->dataLock);
    return m_shared->vpnState;
}

int LocalDeviceObject::bindState() const
{
    QMutexLocker lock(&m_shared->stateMutex);
    return m_shared->bindState;
}

void LocalDeviceObject::Session::threadStarted()
{
    m_refreshTimer = std::make_unique<QTimer>();
    connect(m_refreshTimer.get(), &QTimer::timeout, this, &Session::refreshTimeout);
    m_refreshTimer->setSingleShot(true);
}

void LocalDeviceObject::Session::bind(const QString& ip)
{
    std::uint64_t generation = 0;
    {
        QMutexLocker lock(&m_shared->stateMutex);
        if (m_shared->bindState != Binding)
            return; // overtaken by an unbind
        generation = m_shared->bindGeneration;
    }
    {
        QWriteLocker lock(&m_shared->dataLock);
        m_shared->deviceIp = ip;
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
        QMutexLocker lock(&m_shared->stateMutex);
        if (m_shared->bindState == Binding && m_shared->bindGeneration == generation) {
            if (ok) {
                if (m_refreshTimer)
                    m_refreshTimer->start(PC::kRefreshIntervalMs);
                m_shared->bindState = Bound;
            } else {
                m_shared->bindState = Idle;
            }
            report = true;
        }
    }
    // Emitted outside the state mutex: a directly connected receiver may read the state.
    if (report)
        tellOwner(&LocalDeviceObject::signalBindFinished, ok, ok ? 0 : 1);
}

bool LocalDeviceObject::Session::refreshData()
{
    try {
        if (m_client9059) {
            FF::RPC::SyncProxy proxy(m_client9059.get());
            call<int>(proxy, PC::kReloadTimeOutMs, "reloadData");
            const FF::utils::String iccid = call<FF::utils::String>(proxy, PC::kIccidTimeOutMs, "getICCID");
            QWriteLocker lock(&m_shared->dataLock);
            m_shared->iccid = panelText(iccid);
        }
        if (!m_client9009)
            return true;
        FF::RPC::SyncProxy proxy(m_client9009.get());
        const auto sn = call<FF::utils::String>(proxy, PC::kSessionCallTimeOutMs, "getProductSn");
        {
            QWriteLocker lock(&m_shared->dataLock);
            m_shared->productSn = panelText(sn);
        }
        const auto vpnInfo = call<DeviceVPNInfo>(proxy, PC::kSessionCallTimeOutMs, "getDeviceVPNInfo");
        {
            QWriteLocker lock(&m_shared->dataLock);
            m_shared->vpnText1 = panelText(vpnInfo.text2);
            m_shared->vpnText2 = panelText(vpnInfo.text3);
        }
        const int state = call<int>(proxy, PC::kSessionCallTimeOutMs, "getVpnState");
        QWriteLocker lock(&m_shared->dataLock);
        m_shared->vpnState = state;
        return true;
    } catch (...) {
        platform::reportEscapedException("LocalDeviceObject::refreshData");
        return false;
    }
}

void LocalDeviceObject::Session::refreshTimeout()
{
    const bool ok = refreshData();
    bool updated = false;
    bool disconnected = false;
    {
        QMutexLocker lock(&m_shared->stateMutex);
        if (m_shared->bindState == Bound) {
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
        tellOwner(&LocalDeviceObject::signalDataUpdated);
    if (disconnected)
        tellOwner(&LocalDeviceObject::signalDisconnected);
}

void LocalDeviceObject::Session::manualRefresh()
{
    {
        QMutexLocker lock(&m_shared->stateMutex);
        if (m_shared->bindState != Bound || !m_refreshTimer || !m_client9059 || !m_client9009)
            return;
        m_refreshTimer->stop();
    }
    refreshTimeout();
}

void LocalDeviceObject::Session::dropSession()
{
    if (m_refreshTimer)
        m_refreshTimer->stop();
    clearData();
    closeClients();
}

void LocalDeviceObject::Session::clearData()
{
    QWriteLocker lock(&m_shared->dataLock);
    m_shared->iccid.clear();
    m_shared->vpnText2.clear();
    m_shared->productSn.clear();
    m_shared->vpnText1.clear();
    m_shared->vpnState = 1;
}

void LocalDeviceObject::Session::closeClients()
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

void LocalDeviceObject::Session::safetyStop()
{
    dropSession();
    m_refreshTimer.reset();
    thread()->quit();
}
