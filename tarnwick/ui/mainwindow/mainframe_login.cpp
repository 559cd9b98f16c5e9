#include "tarnwick/ui/mainwindow/mainframe.h"

// The main window's cloud login and the cloud session's connection events:
// the login request and its checks, the login and logout results, and the
// lost connection.

#include "tarnwick/cloud/vpnclient.h"
#include "tarnwick/core/globalconfig.h"
#include "tarnwick/ui/endviewerwindow.h"
#include "tarnwick/ui/mainwindow/deviceview.h"
#include "tarnwick/ui/mainwindow/mainwindowconstants.h"
#include "tarnwick/ui/mainwindow/widgetlogin.h"
#include "tarnwick/widgets/messagebox.h"

#include <QDateTime>
#include <QDebug>
#include <QTimer>

namespace C = Tarnwick::MainWindow;

std::atomic<bool> MainFrame::dropNoticeShowing{false};

void MainFrame::onLoginAction(const QString& name, const QString& pswd, int debugMode)
{
    bool result = false;
    if (debugMode == C::CloudMode)
        result = loginCloud(name, pswd);
    else if (debugMode == C::LocalMode)
        result = connectDeviceByIp(name);
    else
        return;
    loginMode = C::LoginMode(debugMode);
    if (!result)
        loginPage()->slotLoginFinished();
}

bool MainFrame::isValidUserName(const QString& name)
{
    static const QRegularExpression pattern(C::userNamePattern());
    return pattern.match(name).hasMatch();
}

bool MainFrame::isValidPassword(const QString& pswd)
{
    if (pswd.size() < C::kPasswordMin || pswd.size() > C::kPasswordMax)
        return false;
    for (const QChar c : pswd) {
        const ushort u = c.unicode();
        const bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
        if (!ok)
            return false;
    }
    return true;
}

bool MainFrame::loginCloud(const QString& name, const QString& pswd)
{
    GlobalConfig* config = GlobalConfig::instance();
    const QString server = config->serverIp();
    const int port = config->serverPort();
    auto refuse = [this](const QString& text) {
        MessageBox::warning(this, C::loginFailedTitle(), text, C::confirm());
        return false;
    };
    if (server.isEmpty())
        return refuse(C::noServerText());
    if (port == 0 || port > 65535)
        return refuse(C::noPortText());
    stLoginData data;
    data.usrType = C::kLoginUserType;
    data.strVersion = C::clientVersion();
    data.strUser = name;
    data.strServerPswd = config->serverPswd();
    data.strDevicePswd = name + pswd;
    data.strServerAddr = QStringLiteral("%1:%2").arg(server).arg(port);
    data.strReserved.clear();
    data.strConfigName.clear();
    if (!isValidUserName(name))
        return refuse(C::badUserText());
    if (!isValidPassword(pswd))
        return refuse(C::badPasswordText());
    userName = name;
    password = pswd;
    cloudClient->Login(data);
    // The password itself never reaches the log.
    qDebug().noquote() << "Login to [" + data.strServerAddr + "][" + QStringLiteral("******") + "]";
    return true;
}

void MainFrame::onLoginFinished(bool bSuc, int, int, QString strErrMsg)
{
    loginPage()->slotLoginFinished();
    loginState = bSuc ? LoggedIn : LoggedOut;
    qDebug().noquote() << "Login pswd:[" + userName + ":" + QStringLiteral("******") + "]"
                              + (bSuc ? QStringLiteral("success") : QStringLiteral("failed")) + ":" + strErrMsg;
    if (!bSuc) {
        MessageBox::warning(this, C::loginFailedTitle(), strErrMsg, C::confirm());
        return;
    }
    loginPage()->saveSettings();
    devicePage()->showPage(0);
    applyLoginState();
    if (!refreshTimer->isActive())
        refreshTimer->start(C::kListPollMs);
}

void MainFrame::onLogoutFinished(bool bSuc, QString)
{
    if (!bSuc && !quitting)
        MessageBox::warning(this, C::logoutFailedTitle(), C::logoutFailedText(), C::confirm());
    loginState = LoggedOut;
    applyLoginState();
}

void MainFrame::onDropLineSignal()
{
    qDebug().noquote() << "onDropLineSignal ..." << QDateTime::currentMSecsSinceEpoch();
    loginState = LoggedOut;
    if (currentPage == LoginPage || dropNoticeShowing.load())
        return;
    dropNoticeShowing = true;
    if (vncWindow)
        endViewerWindow(vncWindow);
    MessageBox::information(this, C::dropTitle(), C::dropText(), C::confirm());
    applyLoginState();
    dropNoticeShowing = false;
}
