#include "tarnwick/core/messages/deviceonlinemsg.h"

#include "tarnwick/core/panelrpc/panelconstants.h"

namespace PC = Tarnwick::PanelConstants;

namespace {

QString addressText(const FF::Net::Address& address)
{
    const QString text = QString::fromStdString(address.toString());
    const int colon = text.indexOf(QLatin1Char(':'));
    return colon < 0 ? text : text.left(colon);
}

} // namespace

DeviceOnlineMsg::DeviceOnlineMsg(PanelRpcClient* client, const FF::Net::Address& address)
    : m_conn(client, address)
    , m_queryLogin(client)
    , m_passwd(client)
    , strIP(addressText(address))
{
    qRegisterMetaType<DeviceOnlineMsg*>("DeviceOnlineMsg*");
}

DeviceOnlineMsg::~DeviceOnlineMsg() = default;

void DeviceOnlineMsg::Run()
{
    connect(&m_conn, &ConnMsg::Complete, this, &DeviceOnlineMsg::CompleteConnect, Qt::DirectConnection);
    m_conn.Run();
}

void DeviceOnlineMsg::SetPasswd(std::string password, int mode)
{
    m_passwd.SetPasswd(std::move(password), mode);
}

void DeviceOnlineMsg::GetPasswdSlot()
{
    emit GetPasswd(this);
}

void DeviceOnlineMsg::CompleteConnect(bool bSuc)
{
    if (!bSuc) {
        emit Complete(false, strIP, PC::textConnectFailed());
        return;
    }
    connect(&m_queryLogin, &QueryLoginMsg::Complete, this, &DeviceOnlineMsg::CompleteQueryLogin, Qt::DirectConnection);
    m_queryLogin.Run();
}

void DeviceOnlineMsg::CompleteQueryLogin(bool bSuc, bool bNeedCheck)
{
    if (!bSuc) {
        emit Complete(false, strIP, PC::textConnectFailed());
        return;
    }
    if (!bNeedCheck) {
        emit Complete(true, strIP, PC::textConnected());
        return;
    }
    connect(&m_passwd, &PasswdMsg::Complete, this, &DeviceOnlineMsg::CompletePasswdCheck, Qt::DirectConnection);
    connect(&m_passwd, &PasswdMsg::GetPasswd, this, &DeviceOnlineMsg::GetPasswdSlot, Qt::DirectConnection);
    m_passwd.Run();
}

void DeviceOnlineMsg::CompletePasswdCheck(bool bSuc, QString strErrMsg)
{
    emit Complete(bSuc, strIP, strErrMsg);
}
