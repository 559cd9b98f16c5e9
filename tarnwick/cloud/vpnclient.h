#pragma once

#include "tarnwick/cloud/cloudconstants.h"
#include "tarnwick/cloud/cloudrecords.h"
#include "tarnwick/cloud/vpnconnmsg.h"
#include "tarnwick/cloud/vpndisconnmsg.h"
#include "tarnwick/cloud/vpnhttpprotocol.h"

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// The program's one session with the cloud service: login, heartbeat, device
// list and state, the VPN connect and disconnect of a device, logout; writes
// the OpenVPN configuration that a login brings. It lives on the GUI thread
// and is used there only (a call from another thread stops the program).
class VPNClient : public QObject {
    Q_OBJECT
public:
    // The process-wide session, built on first use (on the GUI thread) and
    // destroyed with the application object.
    static VPNClient& instance();

    VPNClient();
    // Reaches nothing beyond its own members (it may run at process exit,
    // after the window and the application): the program ends the session
    // with endSession() while its events still run.
    ~VPNClient() override;

    // Ends the session for good, for the program's end: the heartbeat stops
    // and a held token is logged out, waiting (with events running) up to
    // waitLimitMs for the answer. From then on Logout() sends nothing,
    // until the next Login().
    void endSession(int waitLimitMs = Tarnwick::Cloud::kQuitLogoutWaitMs);

    bool IsLogin();
    bool IsTokenEmpty();
    QString GetToken();
    QString GetConfigData();
    QString GetConfigName();
    // "vpn/x64/" or "vpn/x86/" after the running CPU, relative to the working directory.
    static QString GetVpnDirectory();
    QString GetBeatsUrl();

    bool CheckBoxData(const stBoxData& record, QString& msg);
    bool CheckUserData(const stUserData& record, QString& msg, bool passwordRequired);
    bool CheckLoginData(const stLoginData& data);

    // A plain file name: not empty, no '/', '\\' or NUL, not "." or "..", at most 255 bytes.
    static bool isPlainFileName(const QString& name);

signals:
    void LoginSignal(bool bSuc, int usrType, int accessFlags, QString strErrMsg);
    void LogoutSignal(bool bSuc, QString strErrMsg);
    void DropLineSignal();
    void AndroidHeartbeatsUpdate();
    void ConnectSignal(bool bSuc, stBoxData data, QString strErrMsg);
    void DisconnectSignal(bool bSuc, QString strSN, QString strErrMsg);
    void QueryBoxListSignal(bool bSuc, QVector<stBoxData> boxes, QString strErrMsg);
    void QueryBoxInfoSignal(bool bSuc, stBoxData data, QString strErrMsg);

public slots:
    void Login(stLoginData data);
    void Logout();
    void Logout(QString strUsrToken, QString strVpnServerAddr);
    bool TestServer(QString strVpnServerAddr);
    void Reconnect();
    bool CheckClientOnline(QString response);
    void Connect(stBoxData data);
    void Disconnect(stBoxData data);
    void QueryBoxList();
    void QueryBoxInfo(stBoxData data);

private slots:
    void FinishAction(QNetworkReply* reply);
    void SendHeartBeats();
    void ConnectComplete(bool bSuc, stVpnClientData data, QString strErrMsg);
    void DisconnectComplete(bool bSuc, stVpnClientData data, QString strErrMsg);

private:
    using Handler = void (VPNClient::*)(QNetworkReply*);

    bool loggedIn() const;
    bool tokenEmpty() const;
    void clearSession(bool emptyToken);
    void startHeartbeat();
    void stopHeartbeat();
    // Writes the configuration of the login reply; the path written, or an
    // empty text when the name is not a plain file name.
    QString writeConfigFile();

    void OnLoginReply(QNetworkReply* reply);
    void OnLogoutReply(QNetworkReply* reply);
    void OnBoxListReply(QNetworkReply* reply);
    void OnBoxStatusReply(QNetworkReply* reply);
    void OnBeatsReply(QNetworkReply* reply);

    stVpnClientData m_data;
    VPNConnMsg m_connMsg;
    VPNDisconnMsg m_disconnMsg;
    QNetworkAccessManager* m_netManager = nullptr;       // child of this object
    QNetworkAccessManager* m_logoutNetManager = nullptr; // child; only for Logout(token, server)
    VPNHttpProtocol m_http;
    QTimer* m_beatsTimer = nullptr; // child of this object
    QMap<QString, Handler> m_handlers;
    stLoginResult m_loginReply;
    int m_beatsRetry = 3;
    int m_beatsFailures = 0;      // heartbeat replies in a row without a usable body
    quint64 m_session = 0;        // changes whenever a session begins or ends
    quint64 m_connSession = 0;    // the session a connect run was started in
    quint64 m_disconnSession = 0; // the session a disconnect run was started in
    QPointer<QNetworkReply> m_pendingLogout;
    bool m_ended = false; // endSession() ran; a Login() starts anew
};
