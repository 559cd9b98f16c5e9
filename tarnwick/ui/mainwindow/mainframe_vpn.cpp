#include "tarnwick/ui/mainwindow/mainframe.h"

// The main window's VPN connection to a remote panel: the connect and stop
// requests and the step machine on the single-shot step timer, fed by the
// cloud session's and the VPN manager's replies.

#include "tarnwick/cloud/vpnclient.h"
#include "tarnwick/cloud/vpnmanager.h"
#include "tarnwick/core/androidbeats.h"
#include "tarnwick/ui/mainwindow/deviceview.h"
#include "tarnwick/ui/mainwindow/mainwindowconstants.h"
#include "tarnwick/widgets/messagebox.h"

#include <QDebug>
#include <QTimer>

namespace C = Tarnwick::MainWindow;

namespace {

// A target box of the cloud service: the device number, nothing else.
stBoxData targetBox(const QString& sn)
{
    stBoxData box;
    box.sn = sn;
    return box;
}

} // namespace

void MainFrame::setStepInterval(int ms)
{
    stepMs = ms;
}

void MainFrame::setVpnTarget(const QString& sn, C::VpnOperation operation)
{
    mVpnDevice.mSn = sn;
    mVpnDevice.mOperation = operation;
    mVpnDevice.mRow = -1;
}

void MainFrame::requestConnect()
{
    if (loginMode == C::LocalMode) {
        MessageBox::warning(this, C::errorTitle(), C::notSupportedText(), C::confirm());
        return;
    }
    if (!AndroidBeats::isApkInstalled(QStringLiteral("de.blinkt.openvpn"))) {
        MessageBox::warning(this, C::installTitle(), C::noVpnAppText(), C::confirm());
        return;
    }
    const auto panel = chosenPanel(NeedRecord);
    if (!panel)
        return;
    const stDeviceData& record = panel->record;
    devicePage()->ensureCurrentRowVisible();
    if (record.state != C::CloudOnline) {
        MessageBox::information(this, C::messageTitle(), C::cannotConnectText(), C::confirm());
        return;
    }
    deviceTimer->stop();
    refreshTimer->stop();
    refreshVpnRow(false);
    if (!connectedSn.isEmpty())
        cloudClient->Disconnect(targetBox(connectedSn));
    mVpnDevice.reset();
    mVpnDevice.mIccid = record.iccid;
    mVpnDevice.mSn = record.deviceNo;
    mVpnDevice.mOperation = C::VpnConnecting;
    mVpnDevice.mRow = panel->row;
    refreshVpnRow(true);
    deviceTimer->start(stepMs);
}

void MainFrame::requestStop()
{
    if (loginMode == C::LocalMode) {
        MessageBox::warning(this, C::errorTitle(), C::notSupportedText(), C::confirm());
        return;
    }
    const auto panel = chosenPanel(NeedRecord);
    if (!panel)
        return;
    const stDeviceData& record = panel->record;
    connectedSn.clear();
    refreshVpnRow(false);
    mVpnDevice.reset();
    mVpnDevice.mSn = record.deviceNo;
    mVpnDevice.mIccid = record.iccid;
    mVpnDevice.mOperation = C::VpnStopping;
    mVpnDevice.mRow = panel->row;
    mVpnDevice.mQuerying = true;
    cloudClient->Disconnect(targetBox(mVpnDevice.mSn));
    deviceTimer->start(stepMs);
    refreshTimer->stop();
    refreshVpnRow(true);
}

void MainFrame::onTimerDevice()
{
    VPN_Android::VpnManager* vpn = VPN_Android::VpnManager::instance();
    bool finish = false;
    if (loginState == LoggedOut)
        mVpnDevice.mOperation = C::VpnIdle;

    if (mVpnDevice.mOperation == C::VpnConnecting) {
        if (mVpnDevice.mRetryPrepare) {
            mVpnDevice.mRetryPrepare = false;
            prepareVpnPermission();
        }
        if (mVpnDevice.mQuerying) {
            qDebug().noquote() << "mVpnDevice.mDeviceState " + QString::number(mVpnDevice.mDeviceState)
                                      + " mVpnDevice.mVpnRunState " + QString::number(mVpnDevice.mVpnRunState);
            // A VPN client that ended by itself gives up at once, not after the last step.
            if (++mVpnDevice.mTicks > C::kVpnConnectSteps || vpn->hasChildEnded()) {
                mVpnDevice.mTicks = 0;
                const QString text = mVpnDevice.mDeviceState != C::DeviceWithLanIp   ? C::deviceNetFailedText()
                                     : mVpnDevice.mVpnRunState != C::VpnRunConnected ? C::localNetFailedText()
                                                                                     : C::linkFailedText();
                MessageBox::warning(this, C::connectText(), text, C::confirm());
                cloudClient->Disconnect(targetBox(mVpnDevice.mSn));
                vpn->quit(false);
                mVpnDevice.mOperation = C::VpnStoppingAfterFailure;
                refreshVpnRow(true);
            } else if (mVpnDevice.mDeviceState == C::DeviceWithLanIp && mVpnDevice.mVpnRunState == C::VpnRunConnected) {
                mVpnDevice.mOperation = C::VpnIdle;
                mVpnDevice.mQuerying = false;
                mVpnDevice.mTicks = 0;
                connectedSn = mVpnDevice.mSn;
                MessageBox::information(this, C::connectText(), C::linkedText(), C::confirm());
            }
        } else if (prepareVpnPermission()) {
            mVpnDevice.mQuerying = true;
            mVpnDevice.mTicks = 0;
        } else {
            mVpnDevice.mOperation = C::VpnIdle;
            mVpnDevice.mQuerying = false;
            finish = true;
        }
    } else if (mVpnDevice.mOperation == C::VpnStopping) {
        ++mVpnDevice.mTicks;
        if (mVpnDevice.mDeviceState != C::DeviceWithLanIp) {
            mVpnDevice.mTicks = 0;
            vpn->quit(false);
            mVpnDevice.mOperation = C::VpnIdle;
            mVpnDevice.mQuerying = false;
            MessageBox::information(this, C::stopText(), C::stoppedText(), C::confirm());
        } else if (mVpnDevice.mTicks > C::kVpnConnectSteps) {
            mVpnDevice.mTicks = 0;
            MessageBox::warning(this, C::stopText(), C::stopFailedText(), C::confirm());
            mVpnDevice.mOperation = C::VpnIdle;
            mVpnDevice.mQuerying = false;
            finish = true;
        }
    } else if (mVpnDevice.mOperation == C::VpnStoppingAfterFailure) {
        if (++mVpnDevice.mTicks > C::kVpnFailStopSteps || mVpnDevice.mDeviceState != C::DeviceWithLanIp) {
            mVpnDevice.mOperation = C::VpnIdle;
            mVpnDevice.mQuerying = false;
            mVpnDevice.mTicks = 0;
            finish = true;
        }
    }

    if (!finish) {
        if (mVpnDevice.mQuerying)
            cloudClient->QueryBoxInfo(targetBox(mVpnDevice.mSn));
        if (mVpnDevice.mOperation != C::VpnIdle) {
            refreshTimer->stop();
            deviceTimer->start(stepMs);
            return;
        }
    }
    // The finish step: polling resumes and the next list reply rebuilds the table.
    mVpnDevice.reset();
    onPageRefresh(0);
    refreshTimer->start(C::kListPollMs);
    deviceRows.clear();
}

bool MainFrame::prepareVpnPermission()
{
    VPN_Android::VpnManager* vpn = VPN_Android::VpnManager::instance();
    vpn->quit(false);
    if (loginState == LoggedOut)
        return false;
    const bool ready = vpn->prepareVpn();
    if (!ready)
        MessageBox::warning(this, C::errorTitle(), C::vpnPermissionText(), C::confirm());
    return ready;
}

void MainFrame::onVpnRunState(VPN_Android::VpnRunStatus state)
{
    if (mVpnDevice.mOperation == C::VpnConnecting && state == VPN_Android::VpnRunStatus::Prepared)
        cloudClient->Connect(targetBox(mVpnDevice.mSn));
}

void MainFrame::onConnectSignal(bool bSuc, stBoxData data, QString strErrMsg)
{
    // The VPN password never goes into the log.
    qDebug().noquote() << "onConnectSignal " + QString(bSuc ? "true" : "false") + data.serverIP + data.openvpnUser
                              + C::maskedPassword() + strErrMsg;
    if (!bSuc) {
        mVpnDevice.mRetryPrepare = true;
        qDebug().noquote() << "onConnectSignal ret=" + QString("false") + " error:" + strErrMsg;
        return;
    }
    VPN_Android::VpnManager* vpn = VPN_Android::VpnManager::instance();
    vpn->setConfigData(cloudClient->GetConfigData());
    if (!vpn->startVPN(VPNClient::GetVpnDirectory(), cloudClient->GetConfigName(), data.serverIP, data.serverPort,
                       data.openvpnUser, data.openvpnPassword)) {
        qDebug().noquote() << "startVPN failed! ";
        mVpnDevice.mRetryPrepare = true;
    }
}

void MainFrame::onQueryBoxInfoSignal(bool bSuc, stBoxData data, QString strErrMsg)
{
    qDebug().noquote() << "Querty Box " + QString::number(mVpnDevice.mOperation) + QString(bSuc ? "true" : "false")
                              + mVpnDevice.mSn + data.sn + data.ip + QString::number(data.state) + data.iccid
                              + strErrMsg;
    if (mVpnDevice.mOperation == C::VpnIdle)
        return;
    if (!bSuc) {
        mVpnDevice.mDeviceState = C::DeviceNotReported;
        return;
    }
    if (data.sn != mVpnDevice.mSn)
        return;
    mVpnDevice.mDeviceState = data.ip.isEmpty() ? C::DeviceWithoutLanIp : C::DeviceWithLanIp;
    mVpnDevice.mLanIp = data.ip;
}

void MainFrame::onDisconnectSignal(bool bSuc, QString, QString strErrMsg)
{
    qDebug().noquote() << "onDisconnectSignal " + QString(bSuc ? "true" : "false") + strErrMsg;
    if (!bSuc)
        qDebug().noquote() << "onDisconnectSignal ret=" + QString("false") + " error:" + strErrMsg;
}

void MainFrame::onVpnStateChanged(QString state, QString ip)
{
    qDebug().noquote() << "Vpn State: " + state + ip;
    mVpnDevice.mVpnRunState = state == QLatin1String("CONNECTED") ? C::VpnRunConnected : C::VpnRunOther;
}
