#include "tarnwick/cloud/vpnclient.h"

#include "platform/fd/privatefile.h"
#include "tarnwick/cloud/cloudconstants.h"
#include "tarnwick/cloud/guithread.h"
#include "tarnwick/core/constants.h"

#include "platform/dispatch/nestedwait.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTimer>

using Tarnwick::Cloud::assertGuiThread;

namespace C = Tarnwick::Constants;
namespace Cloud = Tarnwick::Cloud;
namespace Msg = Tarnwick::Cloud::Msg;

namespace {

// True when the text holds a character other than an ASCII letter or digit.
bool hasNonAlphanumeric(const QString& text)
{
    static const QRegularExpression other(QStringLiteral("[^0-9a-zA-Z]"));
    return other.match(text).hasMatch();
}

// The process-wide session lives on the heap and ends with the application
// object (a routine its destructor calls while it still exists), not among
// the statics at exit: its network managers run a thread of Qt's own, which
// must not outlive the application it posts its events through. A use after
// that end builds a new one for the next application.
VPNClient* g_sessionClient = nullptr;

void endSessionClient()
{
    delete g_sessionClient;
    g_sessionClient = nullptr;
}

} // namespace

VPNClient& VPNClient::instance()
{
    if (!g_sessionClient) {
        g_sessionClient = new VPNClient;
        qAddPostRoutine(endSessionClient);
    }
    return *g_sessionClient;
}

VPNClient::VPNClient()
    : m_netManager(new QNetworkAccessManager(this))
    , m_logoutNetManager(new QNetworkAccessManager(this))
    , m_beatsTimer(new QTimer(this))
{
    registerCloudMetaTypes();
    m_handlers.insert(C::kPathLogin, &VPNClient::OnLoginReply);
    m_handlers.insert(C::kPathLogout, &VPNClient::OnLogoutReply);
    m_handlers.insert(C::kPathDeviceList, &VPNClient::OnBoxListReply);
    m_handlers.insert(C::kPathDeviceStatus, &VPNClient::OnBoxStatusReply);
    m_handlers.insert(C::kPathBeats, &VPNClient::OnBeatsReply);
    m_loginReply.auth = 1;
    m_loginReply.permission = 0;

    connect(&m_disconnMsg, &VPNDisconnMsg::Complete, this, &VPNClient::DisconnectComplete);
    connect(&m_connMsg, &VPNConnMsg::Complete, this, &VPNClient::ConnectComplete);
    connect(m_netManager, &QNetworkAccessManager::finished, this, &VPNClient::FinishAction);
    // Nobody reads the answers to Logout(token, server); they are only freed.
    connect(m_logoutNetManager, &QNetworkAccessManager::finished, this,
            [](QNetworkReply* reply) { reply->deleteLater(); });
}

VPNClient::~VPNClient()
{
    qDebug().noquote() << "VPNClient::~VPNClient()";
    // No logout from here: its signal would reach a window, its request a
    // network stack that may be half gone. A token still held expires with
    // its heartbeat at the service.
    stopHeartbeat();
}

// --- Queries -----------------------------------------------------------------

bool VPNClient::loggedIn() const
{
    return m_data.bLogin;
}

bool VPNClient::tokenEmpty() const
{
    return m_data.strToken.isEmpty();
}

bool VPNClient::IsLogin()
{
    assertGuiThread(this, "VPNClient");
    return loggedIn();
}

bool VPNClient::IsTokenEmpty()
{
    assertGuiThread(this, "VPNClient");
    return tokenEmpty();
}

QString VPNClient::GetToken()
{
    assertGuiThread(this, "VPNClient");
    return m_data.strToken;
}

QString VPNClient::GetConfigData()
{
    assertGuiThread(this, "VPNClient");
    return m_loginReply.caText;
}

QString VPNClient::GetConfigName()
{
    assertGuiThread(this, "VPNClient");
    return m_data.login.strConfigName;
}

QString VPNClient::GetVpnDirectory()
{
    const QString arch = QSysInfo::currentCpuArchitecture();
    if (arch == QLatin1String("x86_64") || arch == QLatin1String("ia64"))
        return Cloud::vpnDirX64();
    return Cloud::vpnDirX86();
}

QString VPNClient::GetBeatsUrl()
{
    assertGuiThread(this, "VPNClient");
    if (!loggedIn())
        return QString();
    return QStringLiteral("http://%1%2?%3=%4")
        .arg(m_data.login.strServerAddr, C::kPathBeats, C::kReqToken,
             VPNHttpProtocol::encodeQueryValue(m_data.strToken));
}

// --- Record checks ---------------------------------------------------------------

bool VPNClient::CheckBoxData(const stBoxData& record, QString& msg)
{
    assertGuiThread(this, "VPNClient");
    if (record.alias.isEmpty())
        msg = Msg::boxNameEmpty();
    else if (record.alias.size() > 32)
        msg = Msg::boxNameLong();
    else if (record.sn.isEmpty())
        msg = Msg::boxSnEmpty();
    else if (hasNonAlphanumeric(record.sn))
        msg = Msg::boxSnBad();
    else if (record.remark.size() >= 251)
        msg = Msg::boxRemarkLong();
    else
        return true;
    return false;
}

bool VPNClient::CheckUserData(const stUserData& record, QString& msg, bool passwordRequired)
{
    assertGuiThread(this, "VPNClient");
    const QString& password = record.strPassword;
    if (record.strName.isEmpty())
        msg = Msg::userNameEmpty();
    else if (record.strName.size() > 32)
        msg = Msg::userNameLong();
    else if (password.size() > 20)
        msg = Msg::userPswdLong();
    else if (!password.isEmpty() && password.size() < 8)
        msg = Msg::userPswdShort();
    else if (password.isEmpty() && passwordRequired)
        msg = Msg::userPswdEmpty();
    else if (hasNonAlphanumeric(password))
        msg = Msg::userPswdBad();
    else if (record.strRemark.size() >= 251)
        msg = Msg::userRemarkLong();
    else
        return true;
    return false;
}

bool VPNClient::CheckLoginData(const stLoginData& data)
{
    assertGuiThread(this, "VPNClient");
    QString msg;
    if (data.strServerAddr.isEmpty())
        msg = Msg::loginNoServer();
    else if (data.strUser.isEmpty())
        msg = Msg::loginNoUser();
    else if (data.strUser.size() > 128)
        msg = Msg::loginUserLong();
    else if (data.strServerPswd.isEmpty())
        msg = Msg::loginNoPswd();
    else if (data.strServerPswd.size() > 20)
        msg = Msg::loginPswdLong();
    else
        return true;
    emit LoginSignal(false, 0, 0, msg);
    return false;
}

bool VPNClient::isPlainFileName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name.contains(QChar(0)))
        return false;
    return name.toUtf8().size() <= Cloud::kMaxConfigNameBytes;
}

// --- Session state ----------------------------------------------------------------

void VPNClient::clearSession(bool emptyToken)
{
    m_data.bLogin = false;
    if (emptyToken)
        m_data.strToken.clear();
    stopHeartbeat();
    ++m_session;
}

void VPNClient::startHeartbeat()
{
    stopHeartbeat();
    connect(m_beatsTimer, &QTimer::timeout, this, &VPNClient::SendHeartBeats, Qt::UniqueConnection);
    m_beatsTimer->start(Cloud::kHeartbeatIntervalMs);
    m_beatsRetry = Cloud::kBeatsRetryBudget;
    m_beatsFailures = 0;
}

void VPNClient::stopHeartbeat()
{
    disconnect(m_beatsTimer, &QTimer::timeout, this, &VPNClient::SendHeartBeats);
    if (m_beatsTimer->isActive())
        m_beatsTimer->stop();
    m_beatsRetry = Cloud::kBeatsRetryBudget;
}

// --- Login and logout ---------------------------------------------------------------

void VPNClient::Login(stLoginData data)
{
    assertGuiThread(this, "VPNClient");
    m_ended = false;
    m_data.login.usrType = data.usrType;
    m_data.login.strVersion = data.strVersion;
    m_data.login.strUser = data.strUser;
    m_data.login.strServerPswd = data.strServerPswd;
    m_data.login.strDevicePswd = data.strDevicePswd;
    m_data.login.strServerAddr = data.strServerAddr;
    m_data.login.strReserved = data.strReserved;
    m_data.login.strConfigName = data.strConfigName;
    m_http.requestLogin(m_netManager, data);
}

QString VPNClient::writeConfigFile()
{
    const QString& name = m_loginReply.caName;
    if (!isPlainFileName(name)) {
        qWarning().noquote() << "VPNClient: configuration name refused, nothing written:" << name.left(64);
        return QString();
    }
    const QString folder = GetVpnDirectory() + Cloud::configSubdir();
    const QString path = folder + name;
    QByteArray bytes = m_loginReply.caText.toUtf8();
    const int zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    if (!QDir().mkpath(folder)
        || !platform::writePrivateFile(QFile::encodeName(path).toStdString(), bytes.toStdString()))
        qWarning().noquote() << "VPNClient: cannot write the configuration file" << path;
    return path;
}

void VPNClient::OnLoginReply(QNetworkReply* reply)
{
    QString msg;
    if (!m_http.parseLoginReply(reply, m_loginReply, msg)) {
        clearSession(false);
        emit LoginSignal(false, 0, 0, msg);
        return;
    }
    m_data.strToken = m_loginReply.token;
    m_data.bLogin = true;
    m_data.login.strConfigName = m_loginReply.caName;
    const QString path = writeConfigFile();
    m_data.login.usrType = m_loginReply.auth;
    m_data.login.strConfigName = path;
    m_data.bLogin = true;
    m_data.strToken = m_loginReply.token;
    ++m_session;
    startHeartbeat();
    emit LoginSignal(true, m_loginReply.auth, m_loginReply.permission, Msg::sessionLoginOk());
}

void VPNClient::Logout()
{
    assertGuiThread(this, "VPNClient");
    if (m_ended)
        return;
    if (!tokenEmpty()) {
        qDebug().noquote() << "VPNClient::Logout()";
        stopHeartbeat();
        m_pendingLogout = m_http.requestLogout(m_netManager, m_data.login.strServerAddr, m_data.strToken);
        return;
    }
    clearSession(false);
    emit LogoutSignal(true, Msg::sessionNoTokenLogout());
}

void VPNClient::OnLogoutReply(QNetworkReply* reply)
{
    QString msg;
    const bool ok = m_http.parseLogoutReply(reply, msg);
    // A late answer for a token that a new login replaced concerns no
    // session of ours.
    if (VPNHttpProtocol::queryValue(reply->url(), C::kReqToken) != m_data.strToken) {
        qDebug().noquote() << "VPNClient: logout reply of an earlier session ignored";
        return;
    }
    if (!ok) {
        emit LogoutSignal(false, msg);
        return;
    }
    clearSession(true);
    emit LogoutSignal(true, Msg::sessionLogoutOk());
}

void VPNClient::Logout(QString strUsrToken, QString strVpnServerAddr)
{
    assertGuiThread(this, "VPNClient");
    if (strUsrToken.isEmpty() || strVpnServerAddr.isEmpty())
        return;
    if (strUsrToken == m_data.strToken && strVpnServerAddr == m_data.login.strServerAddr)
        stopHeartbeat();
    m_http.requestLogout(m_logoutNetManager, strVpnServerAddr, strUsrToken);
}

void VPNClient::Reconnect()
{
    Logout();
    assertGuiThread(this, "VPNClient");
    const stLoginData login = m_data.login;
    Login(login);
}

void VPNClient::endSession(int waitLimitMs)
{
    assertGuiThread(this, "VPNClient");
    if (m_ended)
        return;
    stopHeartbeat();
    // A logout already under way (a confirmed close sends one) is waited
    // for, not sent again.
    QPointer<QNetworkReply> reply = m_pendingLogout;
    if ((reply.isNull() || !reply->isRunning()) && !tokenEmpty()) {
        Logout();
        reply = m_pendingLogout;
    }
    m_ended = true;
    if (reply.isNull() || !reply->isRunning())
        return;
    // Give the logout a moment to go out and be answered while the
    // application still runs.
    platform::NestedWait wait;
    wait.wakeOn(reply.data(), &QNetworkReply::finished);
    if (wait.exec(waitLimitMs) != platform::NestedWait::End::Woken)
        qWarning().noquote() << "VPNClient: the logout's answer not waited for beyond" << waitLimitMs << "ms";
}

bool VPNClient::TestServer(QString strVpnServerAddr)
{
    QNetworkAccessManager manager;
    platform::NestedWait wait;
    bool result = false;
    QPointer<QNetworkReply> kept;
    const auto handler = connect(&manager, &QNetworkAccessManager::finished, this, [&](QNetworkReply* reply) {
        QString msg;
        result = m_http.parseServerTestReply(reply, msg);
        kept = reply;
    });
    wait.wakeOn(&manager, &QNetworkAccessManager::finished);
    m_http.requestServerTest(&manager, strVpnServerAddr);
    wait.exec(Cloud::kServerTestTimeoutMs);
    disconnect(handler);
    if (!kept.isNull())
        kept->deleteLater();
    return result;
}

bool VPNClient::CheckClientOnline(QString response)
{
    assertGuiThread(this, "VPNClient");
    const bool online = VPNHttpProtocol::isOnlineReply(response);
    qDebug().noquote() << QStringLiteral("response[%1]:").arg(online ? "true" : "false") << response;
    if (online) {
        m_beatsRetry = Cloud::kBeatsRetryBudget;
        return true;
    }
    if (--m_beatsRetry >= 1)
        return true;
    clearSession(false);
    return false;
}

// --- Replies --------------------------------------------------------------------

void VPNClient::FinishAction(QNetworkReply* reply)
{
    assertGuiThread(this, "VPNClient");
    const QString path = reply->url().path(QUrl::FullyDecoded);
    if (path != C::kPathDeviceList && path != C::kPathBeats) {
        qDebug().noquote() << "url: " + path + ", ret: "
                                  + QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(reply->error());
    }
    const auto it = m_handlers.constFind(path);
    if (it != m_handlers.constEnd())
        (this->*it.value())(reply);
    reply->deleteLater();
}

// --- Heartbeat ------------------------------------------------------------------

void VPNClient::SendHeartBeats()
{
    assertGuiThread(this, "VPNClient");
    if (IsLogin()) {
        m_http.requestHeartbeat(m_netManager, m_data.login.strServerAddr, m_data.strToken);
        return;
    }
    clearSession(false);
    emit DropLineSignal();
}

void VPNClient::OnBeatsReply(QNetworkReply* reply)
{
    QString token;
    bool dropped = false;
    QString msg;
    const bool ok = m_http.parseHeartbeatReply(reply, token, dropped, msg);
    // Only the running session's own heartbeat counts: a late answer for a
    // token that a reconnection replaced, or one that arrives after the
    // heartbeat stopped, says nothing about the session now in force.
    if (!m_data.bLogin || !m_beatsTimer->isActive() || token != m_data.strToken) {
        qDebug().noquote() << "VPNClient: heartbeat reply of an ended session ignored";
        return;
    }
    if (ok) {
        m_beatsFailures = 0;
    } else if (++m_beatsFailures > Cloud::kHeartbeatFailureLimit) {
        dropped = true;
    }
    if (dropped) {
        clearSession(false);
        m_beatsFailures = 0;
        emit DropLineSignal();
    }
}

// --- Device list and state -------------------------------------------------------

void VPNClient::QueryBoxList()
{
    assertGuiThread(this, "VPNClient");
    if (loggedIn()) {
        m_http.requestDeviceList(m_netManager, m_data.login.strServerAddr, m_data.strToken);
        return;
    }
    clearSession(false);
    emit DropLineSignal();
}

void VPNClient::OnBoxListReply(QNetworkReply* reply)
{
    QVector<stBoxData> boxes;
    bool dropped = false;
    QString msg;
    const bool ok = m_http.parseDeviceListReply(reply, boxes, dropped, msg);
    emit QueryBoxListSignal(ok, boxes, msg);
}

void VPNClient::QueryBoxInfo(stBoxData data)
{
    assertGuiThread(this, "VPNClient");
    if (loggedIn()) {
        stBoxData box = data;
        box.devicePassword = m_data.login.strDevicePswd;
        m_http.requestDeviceStatus(m_netManager, m_data.login.strServerAddr, m_data.strToken, box);
        return;
    }
    clearSession(false);
    emit DropLineSignal();
}

void VPNClient::OnBoxStatusReply(QNetworkReply* reply)
{
    stBoxData box;
    bool dropped = false;
    QString msg;
    const bool ok = m_http.parseDeviceStatusReply(reply, box, dropped, msg);
    emit QueryBoxInfoSignal(ok, box, msg);
}

// --- Connect and disconnect ---------------------------------------------------------

void VPNClient::Connect(stBoxData data)
{
    assertGuiThread(this, "VPNClient");
    if (!loggedIn()) {
        clearSession(false);
        emit DropLineSignal();
        return;
    }
    m_data.box.sn = data.sn;
    m_data.box.devicePassword = m_data.login.strDevicePswd;
    m_connSession = m_session;
    m_connMsg.Start(m_data, m_data.box.sn, m_data.box.devicePassword);
}

void VPNClient::Disconnect(stBoxData data)
{
    assertGuiThread(this, "VPNClient");
    if (!loggedIn()) {
        clearSession(false);
        emit DropLineSignal();
        return;
    }
    m_data.box = data;
    m_data.box.devicePassword = m_data.login.strDevicePswd;
    m_disconnSession = m_session;
    m_disconnMsg.Start(m_data);
}

void VPNClient::ConnectComplete(bool bSuc, stVpnClientData data, QString strErrMsg)
{
    assertGuiThread(this, "VPNClient");
    // A run that outlived its session (logout or a new login) must not
    // bring that session's state back.
    if (m_connSession != m_session) {
        qDebug().noquote() << "VPNClient: connect of an ended session ignored";
        return;
    }
    m_data = data;
    if (data.bLogin) {
        qDebug().noquote() << QStringLiteral("connect complete %1").arg(bSuc ? "true" : "false");
        emit ConnectSignal(bSuc, m_data.box, strErrMsg);
        return;
    }
    clearSession(false);
    emit DropLineSignal();
}

void VPNClient::DisconnectComplete(bool bSuc, stVpnClientData data, QString strErrMsg)
{
    assertGuiThread(this, "VPNClient");
    if (m_disconnSession != m_session) {
        qDebug().noquote() << "VPNClient: disconnect of an ended session ignored";
        return;
    }
    m_data = data;
    emit DisconnectSignal(bSuc, data.box.sn, strErrMsg);
}
