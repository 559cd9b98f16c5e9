#pragma once

// The value records that the cloud client, the VPN sequences and the cloud
// session hand to one another: login data, one cloud device, a login result
// and the whole session state.

#include <QMetaType>
#include <QString>
#include <QVector>

// The login data of a session: passed to VPNClient::Login and kept in the session.
struct stLoginData {
    int usrType = 1;                              // the user type the server returned
    QString strVersion = QStringLiteral("2.0.1"); // client version sent with the login
    QString strUser;                              // user name typed at login
    QString strServerPswd;                        // server password from the settings
    QString strDevicePswd;                        // account key: user name then password
    QString strServerAddr;                        // cloud server, "host:port"
    QString strReserved;
    QString strConfigName; // relative path of the OpenVPN configuration file
};

// One device of the cloud account.
struct stBoxData {
    bool vpn = false;
    bool online = false;
    qint32 serverPort = 0;
    qint32 state = 0;
    qint32 spareNumber = 0;
    double spareValue = 0.0;
    QString sn;
    QString alias;
    QString remark;
    QString spareText;
    QString devicePassword; // the account key; only its MD5 travels
    QString bind;
    QString ip;
    QString serverIP;
    QString iccid;
    QString openvpnUser;
    QString openvpnPassword;
    QString iccidNote;
};

// What the login reply carries.
struct stLoginResult {
    qint32 auth = 1;
    qint32 permission = 0;
    QString token;
    QString caName;
    QString caText;
    QString ver;
};

// The whole state of a cloud session; the VPN sequences work on a copy.
struct stVpnClientData {
    bool bLogin = false;
    QString strToken;
    stLoginData login;
    stBoxData box;
};

// A user record as the account pages edit it (checked by VPNClient::CheckUserData).
struct stUserData {
    QString strName;
    QString strPassword;
    QString strRemark;
};

Q_DECLARE_METATYPE(stLoginData)
Q_DECLARE_METATYPE(stBoxData)
Q_DECLARE_METATYPE(stLoginResult)
Q_DECLARE_METATYPE(stVpnClientData)
Q_DECLARE_METATYPE(QVector<stBoxData>)

// Registers the records with Qt's meta-type system so that they travel
// through queued signals; safe to call any number of times.
void registerCloudMetaTypes();
