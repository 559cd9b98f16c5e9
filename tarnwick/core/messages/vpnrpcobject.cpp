#include "tarnwick/core/messages/vpnrpcobject.h"

#include "tarnwick/core/messages/msgdispatcher.h"
#include "tarnwick/core/panelrpc/panelconstants.h"
#include "tarnwick/core/panelrpc/panelrecords.h"
#include "tarnwick/core/panelrpc/panelrpcclient.h"

#include "framework/net/tcpclient.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/typedcall.h"
#include "platform/exceptionlog/exceptionlog.h"

#include <QRegExp>

namespace PC = Tarnwick::PanelConstants;
using FF::RPC::kProxyDefaultTimeOut;
using FF::RPC::tryCall;

VPNRpcObject::VPNRpcObject(const QString& serverAddress, const QString& panelAddress, int action)
    : m_serverAddress(serverAddress)
    , m_panelAddress(panelAddress)
    , m_action(action)
    , m_port(PC::kServicePort)
    , m_answerLimitMs(PC::kPasswordAnswerLimitMs)
{
    qRegisterMetaType<VPNRpcObject*>("VPNRpcObject*");
}

VPNRpcObject::~VPNRpcObject()
{
    MsgDispatcher::removePendingWait(this);
    // Wakes a Run still waiting for a password.
    m_passwordReady.release();
    releaseClient();
}

bool VPNRpcObject::isIpv4Address(const QString& text)
{
    static const QRegExp pattern(QStringLiteral("((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])[\\.]){3}"
                                                "(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])"));
    QRegExp matcher(pattern); // QRegExp keeps match state: one copy per call
    return matcher.exactMatch(text);
}

void VPNRpcObject::Run()
{
    if (m_action == kActionChange)
        runChange();
    else
        runRead();
}

void VPNRpcObject::SetPasswd(std::string strPasswd)
{
    {
        QMutexLocker lock(&m_passwordLock);
        m_password = std::move(strPasswd);
    }
    m_passwordReady.release();
}

bool VPNRpcObject::openClient()
{
    releaseClient();
    try {
        const QByteArray address = m_panelAddress.toUtf8();
        m_client = std::make_unique<FF::RPC::DispatchClient>(FF::Net::Address(address.constData(), m_port),
                                                             FF::Net::TCPClient::NewFactory());
    } catch (...) {
        platform::reportEscapedException("VPNRpcObject::openClient");
        m_client.reset();
    }
    return m_client != nullptr;
}

void VPNRpcObject::releaseClient()
{
    if (m_client) {
        m_client->stop();
        m_client.reset();
    }
}

void VPNRpcObject::runChange()
{
    if (!isIpv4Address(m_serverAddress)) {
        emit Complete(false, PC::textServerIpFormat());
        return;
    }
    if (!isIpv4Address(m_panelAddress) || !openClient()) {
        emit Complete(false, PC::textDeviceConnectFailed());
        return;
    }

    bool hasPassword = false;
    if (!tryCall(m_client.get(), kProxyDefaultTimeOut, "hasPassword", hasPassword))
        hasPassword = false;
    if (hasPassword) {
        // A quit while waiting answers with an empty password: cancel.
        const bool mayWait = MsgDispatcher::addPendingWait(this, [this] { SetPasswd(std::string()); });
        emit GetPasswd(this);
        if (!mayWait)
            SetPasswd(std::string());
        const bool answered = m_passwordReady.tryAcquire(1, m_answerLimitMs);
        MsgDispatcher::removePendingWait(this);
        std::string password;
        if (answered) {
            QMutexLocker lock(&m_passwordLock);
            password = m_password;
        } else {
            qWarning("VPNRpcObject: no password given within %d ms: taken as a cancel", m_answerLimitMs);
        }
        if (password.empty()) {
            releaseClient();
            emit Complete(false, PC::textCancelSucceeded());
            return;
        }
        bool accepted = false;
        const std::string digest = PanelRpcClient::passwordDigest(password);
        // A check without answer is no refused password: the panel was not reached.
        if (!tryCall(m_client.get(), kProxyDefaultTimeOut, "checkPassword", accepted, digest)) {
            releaseClient();
            emit Complete(false, PC::textDeviceConnectFailed());
            return;
        }
        if (!accepted) {
            releaseClient();
            emit Complete(false, PC::textPasswordRefused());
            return;
        }
    }

    int result = -1;
    const std::string server = m_serverAddress.toUtf8().toStdString();
    const bool answered = tryCall(m_client.get(), kProxyDefaultTimeOut, "changeServerIP", result, server);
    releaseClient();
    // Likewise a change without answer is no address that the panel refused.
    if (!answered)
        emit Complete(false, PC::textDeviceConnectFailed());
    else if (result == 0)
        emit Complete(true, PC::textServerIpChanged());
    else
        emit Complete(false, PC::textServerIpInvalid());
}

void VPNRpcObject::runRead()
{
    if (!isIpv4Address(m_panelAddress) || !openClient()) {
        emit Complete(false, PC::textDeviceConnectFailed());
        return;
    }
    FF::utils::String address;
    const bool read = tryCall(m_client.get(), kProxyDefaultTimeOut, "getServerIP", address);
    releaseClient();
    if (!read) {
        // A failed read is a failure, not an empty address.
        emit Complete(false, PC::textDeviceConnectFailed());
        return;
    }
    m_serverAddress = QString::fromUtf8(address.c_str());
    emit Complete(true, m_serverAddress);
}
