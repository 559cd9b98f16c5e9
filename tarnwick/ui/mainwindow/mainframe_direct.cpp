#include "tarnwick/ui/mainwindow/mainframe.h"

// The main window's ways to panels without the cloud service: local
// debugging on the local page, and one panel bound directly and shown as the
// cloud page's single row; with the suspend and resume of the application.

#include "tarnwick/core/panelrpc/localdeviceobject.h"
#include "tarnwick/ui/localdebugview.h"
#include "tarnwick/ui/mainwindow/deviceview.h"
#include "tarnwick/ui/mainwindow/mainwindowconstants.h"
#include "tarnwick/ui/mainwindow/widgetlogin.h"
#include "tarnwick/widgets/messagebox.h"
#include "tarnwick/widgets/widgettitle.h"

#include <QDebug>

namespace C = Tarnwick::MainWindow;

void MainFrame::onLocalDebugAction(const QString& netIntf, const QString)
{
    bool cancelled = false;
    LocalDebugView* local = localPage();
    const QMetaObject::Connection cancel = connect(
        local, &LocalDebugView::cancelComplete, this, [&cancelled] { cancelled = true; }, Qt::DirectConnection);
    local->setNetIntf(netIntf);
    disconnect(cancel);
    if (cancelled) {
        local->setNetIntf(QString());
    } else {
        showPage(LocalPage);
        loginMode = C::LocalMode;
    }
    loginPage()->slotLoginFinished();
}

void MainFrame::onLocalDebugActionCancel()
{
    localPage()->cancelRefresh();
}

bool MainFrame::connectDeviceByIp(const QString& ip)
{
    if (ip.isEmpty()) {
        MessageBox::warning(this, C::connectFailedTitle(), C::emptyIpText(), C::confirm());
        return false;
    }
    localDevice->unbindDevice();
    const bool result = localDevice->bindDevice(ip);
    if (!result)
        MessageBox::warning(this, C::connectFailedTitle(), C::badIpText(), C::confirm());
    return result;
}

void MainFrame::slotLocalDeviceBindFinished(bool ret, int err)
{
    qDebug().noquote() << "slotLocalDeviceBindFinished";
    loginPage()->slotLoginFinished();
    if (ret) {
        titleBar->setSettingVisible(false);
        devicePage()->showPage(0);
        showPage(CloudPage);
        devicePage()->setDirectMode(true);
        devicePage()->setSearchBoxVisible(false);
        devicePage()->setItemText(C::ActionLogout, C::exitText());
        showLocalDeviceRow(true);
        loginPage()->saveSettings();
    } else if (err == 1) {
        MessageBox::warning(this, C::connectFailedTitle(), C::deviceNetText(), C::confirm());
        loginState = LoggedOut;
        applyLoginState();
    }
}

void MainFrame::slotLocalDeviceDataUpdated()
{
    showLocalDeviceRow(false);
}

void MainFrame::showLocalDeviceRow(bool add)
{
    stDeviceData record;
    record.rowNo = 0;
    record.state = 1;
    record.deviceNo = localDevice->productSn();
    record.deviceName = localDevice->vpnInfoText2();
    record.iccid = localDevice->iccid();
    record.lanIp = localDevice->deviceIp();
    const QVariant row = makeDeviceRow(record, 0, false);
    if (add)
        devicePage()->updatePageRows(0, QVariantList{row});
    else
        devicePage()->setPageRow(0, 0, row.toList());
}

void MainFrame::slotLocalDeviceDisconnced()
{
    const MessageBox::Result answer = MessageBox::question(this, C::disconnectedTitle(), C::reconnectText(),
                                                           C::confirm(), C::cancel());
    const QString ip = localDevice->deviceIp();
    localDevice->unbindDevice();
    if (answer == MessageBox::Button1) {
        localDevice->bindDevice(ip);
    } else {
        loginState = LoggedOut;
        applyLoginState();
    }
}

void MainFrame::onApplicationStateChanged(Qt::ApplicationState state)
{
    const Qt::ApplicationState previous = appState;
    if (state == Qt::ApplicationActive && previous == Qt::ApplicationSuspended && loginMode == C::LocalMode
        && currentPage == CloudPage) {
        const QString ip = localDevice->deviceIp();
        if (!ip.isEmpty()) {
            localDevice->unbindDevice();
            localDevice->bindDevice(ip);
            qDebug().noquote() << "onApplicationStateChanged 111";
        }
    } else if (state == Qt::ApplicationSuspended && previous == Qt::ApplicationInactive && loginMode == C::LocalMode
               && currentPage == CloudPage) {
        qDebug().noquote() << "onApplicationStateChanged 222";
        localDevice->unbindDevice();
    }
    appState = state;
}
