#pragma once

// Brings a panel online for the user: connect, ask whether the project is
// password-protected, and if so get the password from the GUI
// (GetPasswd(this), answered by SetPasswd) and check it. One final Complete
// with the panel's address text and an outcome text.

#include "tarnwick/core/messages/connmsg.h"
#include "tarnwick/core/messages/msgbase.h"
#include "tarnwick/core/messages/passwdmsg.h"
#include "tarnwick/core/messages/queryloginmsg.h"

#include <QString>

#include <string>

class DeviceOnlineMsg : public MsgBase {
    Q_OBJECT
public:
    DeviceOnlineMsg(PanelRpcClient* client, const FF::Net::Address& address);
    ~DeviceOnlineMsg() override;

    void Run() override;

signals:
    void Complete(bool bSuc, QString strIP, QString strErrMsg);
    void GetPasswd(DeviceOnlineMsg* msg);

public slots:
    // The GUI's answer to GetPasswd: mode 1 checks the password, anything else cancels.
    void SetPasswd(std::string password, int mode);
    void GetPasswdSlot();
    void CompleteConnect(bool bSuc);
    void CompleteQueryLogin(bool bSuc, bool bNeedCheck);
    void CompletePasswdCheck(bool bSuc, QString strErrMsg);

private:
    ConnMsg m_conn;
    QueryLoginMsg m_queryLogin;
    PasswdMsg m_passwd;
    QString strIP;
};

Q_DECLARE_METATYPE(DeviceOnlineMsg*)
