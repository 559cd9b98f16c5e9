#include "quillet/rpc/transparentserverrpc.h"

#include "framework/net/address.h"
#include "framework/net/exception.h"
#include "framework/net/tcpclient.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/typedcall.h"
#include "platform/exceptionlog/exceptionlog.h"
#include "quillet/rpc/omberrpcobject.h"
#include "quillet/rpc/rpcconstants.h"

#include <QCryptographicHash>
#include <QDebug>

using namespace QuilletRpc;

TransparentServerRpc::TransparentServerRpc(const std::string& address)
    : m_address(address)
    , m_port(static_cast<int>(kPassThroughPort))
{
}

TransparentServerRpc::~TransparentServerRpc()
{
    Terminate();
    closeServer();
}

bool TransparentServerRpc::connectServer()
{
    if (m_client)
        return true;
    try {
        const FF::Net::Address endpoint(m_address.c_str(), static_cast<unsigned>(m_port));
        if (!FF::Net::TCPClient::CheckConnection(endpoint, kPassThroughProbeMs))
            return false;
        m_client = std::make_unique<FF::RPC::DispatchClient>(endpoint, FF::Net::TCPClient::NewFactory());
        m_client->setRetryMaxTimes(0);
        return true;
    } catch (...) {
        platform::reportEscapedException("TransparentServerRpc::connectServer");
        m_client.reset();
        return false;
    }
}

void TransparentServerRpc::closeServer()
{
    if (!m_client)
        return;
    try {
        m_client->stop();
    } catch (const FF::Net::Exception&) {
        qDebug("clear exception");
        m_client.reset();
        qDebug("clear exception end");
        return;
    }
    m_client.reset();
}

int TransparentServerRpc::call(const char* failureLog, const std::function<bool(FF::RPC::DispatchClient*)>& ask)
{
    if (!connectServer())
        return -1;
    try {
        return ask(m_client.get()) ? 0 : -2;
    } catch (...) {
        platform::reportEscapedException(failureLog);
        closeServer();
        return -1;
    }
}

int TransparentServerRpc::SetTransparentParam(const TransparentParam& param)
{
    return call("SetTransparentParam exception", [&param](FF::RPC::DispatchClient* client) {
        return FF::RPC::call<bool>(client, kSetTransparentParamTimeoutMs, kSetTransparentParam, param);
    });
}

int TransparentServerRpc::IsReady()
{
    return call("IsReady exception", [](FF::RPC::DispatchClient* client) {
        return FF::RPC::call<bool>(client, kIsReadyTimeoutMs, kIsReady);
    });
}

int TransparentServerRpc::Terminate()
{
    return call("Terminate exception", [](FF::RPC::DispatchClient* client) {
        return FF::RPC::call<bool>(client, kTerminateTimeoutMs, kTerminate);
    });
}

int TransparentServerRpc::hasProjectPassword()
{
    try {
        OmberRpcObject project(m_address);
        return project.projectHasPassword() ? 1 : 0;
    } catch (const OmberRpcObject::Exception& e) {
        qDebug("%s", e.what());
        return -1;
    }
}

int TransparentServerRpc::checkProjectPassword(const std::string& password)
{
    const std::string digest = md5Hex(password);
    try {
        OmberRpcObject project(m_address);
        return project.projectCheckPassword(digest) ? 0 : -2;
    } catch (const OmberRpcObject::Exception& e) {
        qDebug("%s", e.what());
        return -1;
    }
}

std::string TransparentServerRpc::md5Hex(const std::string& text)
{
    const QByteArray digest = QCryptographicHash::hash(QByteArray(text.data(), static_cast<int>(text.size())),
                                                       QCryptographicHash::Md5);
    return digest.toHex().toStdString();
}
