#include "tarnwick/ui/mainwindow/mainframe.h"

#include "tarnwick/cloud/vpnclient.h"
#include "tarnwick/cloud/vpnmanager.h"
#include "tarnwick/core/androidbeats.h"
#include "tarnwick/core/constants.h"
#include "tarnwick/core/filetool.h"
#include "tarnwick/core/globalconfig.h"
#include "tarnwick/core/localdeviceobject.h"
#include "tarnwick/core/logger.h"
#include "tarnwick/core/programpath.h"
#include "tarnwick/core/screentool.h"
#include "tarnwick/ui/endviewerwindow.h"
#include "tarnwick/ui/localdebugview.h"
#include "tarnwick/ui/mainwindow/clouddevicerows.h"
#include "tarnwick/ui/mainwindow/deviceview.h"
#include "tarnwick/ui/mainwindow/mainwindowconstants.h"
#include "tarnwick/ui/mainwindow/widgetlogin.h"
#include "tarnwick/ui/settings/helpview.h"
#include "tarnwick/ui/settings/settingview.h"
#include "tarnwick/vnc/vncviewerwindow.h"
#include "tarnwick/widgets/messagebox.h"
#include "tarnwick/widgets/tableview.h"
#include "tarnwick/widgets/widgettitle.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace C = Tarnwick::MainWindow;

std::atomic<bool> MainFrame::dropNoticeShowing{false};

MainFrame::MainFrame(QWidget* parent)
    : MovableWidget(parent)
{
    // The state the application is in now: a first report of "active" after
    // a direct connection is not a resume from suspension.
    appState = QGuiApplication::applicationState();
    cloudClient = &VPNClient::instance();
    localDevice = new LocalDeviceObject();
    refreshTimer = new QTimer(this);
    deviceTimer = new QTimer(this);
    initUi();
    initConnections();
    loginPage()->loadSettings();
    applyLoginState();
    refreshTimer->start(C::kListPollMs);
    deviceTimer->setSingleShot(true);
    qDebug().noquote() << "MainFrame::MainFrame";
}

MainFrame::~MainFrame()
{
    qDebug().noquote() << "MainFrame::~MainFrame";
    // The answers of the session and the VPN manager no longer reach a window
    // that is being taken apart.
    disconnect(VPN_Android::VpnManager::instance(), nullptr, this, nullptr);
    if (cloudClient)
        disconnect(cloudClient, nullptr, this, nullptr);
    VPN_Android::VpnManager::instance()->quit(false);
    if (cloudClient)
        cloudClient->Logout();
    if (localDevice) {
        localDevice->unbindDevice();
        // Stops and joins the object's thread.
        delete localDevice;
        localDevice = nullptr;
    }
    if (vncWindow) {
        delete vncWindow;
        vncWindow = nullptr;
    }
    // The pages go while the window is still whole: the local page ends its
    // forwarding in its destructor and may wait with events running.
    refreshTimer->stop();
    deviceTimer->stop();
    delete localPage();
    qDebug().noquote() << "MainFrame::~MainFrame end";
}

// --- Construction --------------------------------------------------------------

void MainFrame::initUi()
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowMaximizeButtonHint);
    setObjectName(QStringLiteral("mainFrame"));
    setAttribute(Qt::WA_StyledBackground);
    setWindowTitle(Tarnwick::Constants::kAppTitle);

    auto* layout = new QVBoxLayout;
    titleBar = new WidgetTitle(this);
    layout->addWidget(titleBar, 0, Qt::AlignTop);
    setDragWidget(titleBar);

    QSize size = ScreenTool::scaleSize(QSize(C::kWindowWidth, C::kWindowHeight));
    if (size.width() > C::kWideLimit)
        size = QSize(C::kWideWidth, C::kWideHeight);
    resize(size);

    pages = new QStackedWidget(this);
    loginView = new WidgetLogin(this);
    pages->addWidget(loginView);
    cloudView = new DeviceView(this);
    pages->addWidget(cloudView);
    localView = new LocalDebugView(this);
    pages->addWidget(localView);
    LocalDebugView* local = localView;
    connect(local, &LocalDebugView::exitPageSignal, this, [this, local] {
        if (MessageBox::question(this, C::exitTitle(), C::exitLocalText(), C::confirm(), C::cancel()) == 0) {
            local->exitPage();
            showPage(0);
        }
    }, Qt::DirectConnection);

    layout->addWidget(pages);
    setStyleSheet(QStringLiteral("QWidget#mainFrame{   background-color: white;  border: 1px solid grey;}"));
    const int margin = ScreenTool::scale(1);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(0);
    setLayout(layout);
    showPage(0);
}

void MainFrame::initConnections()
{
    if (titleBar) {
        connect(titleBar, &WidgetTitle::onSettingClicked, this, &MainFrame::onSettingClicked);
        connect(titleBar, &WidgetTitle::onMinimizeClicked, this, &MainFrame::onMinimizeClicked);
        connect(titleBar, &WidgetTitle::onMaximizeClicked, this, &MainFrame::onMaximizeClicked);
        connect(titleBar, &WidgetTitle::onClosedClicked, this, &MainFrame::onClosedClicked);
    }
    connect(this, &MovableWidget::doubleClicked, this, &MainFrame::onTitleDoubleClicked);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, &MainFrame::onApplicationStateChanged);
    connect(loginView, &WidgetLogin::loginAction, this, &MainFrame::onLoginAction);
    connect(loginView, &WidgetLogin::localDebugAction, this, &MainFrame::onLocalDebugAction);
    connect(loginView, &WidgetLogin::localDebugActionCancel, this, &MainFrame::onLocalDebugActionCancel);
    connect(cloudView, &DeviceView::pageChanged, this, &MainFrame::onPageRefresh);
    connect(cloudView, &DeviceView::menuOperActioned, this, &MainFrame::onOperActioned);
    connect(cloudView, &DeviceView::orderUpdate, this, &MainFrame::onUpdateDeviceTable);
    connect(cloudView, &DeviceView::selectedRow, this, &MainFrame::onSelectedRow);
    connect(refreshTimer, &QTimer::timeout, this, &MainFrame::onTimerRefresh);
    connect(deviceTimer, &QTimer::timeout, this, &MainFrame::onTimerDevice);
    connect(DeviceDatas::instance(), &DeviceDatas::searchTextChanged, this, &MainFrame::onUpdateDeviceTable);
    if (!cloudSignalsConnected)
        connectCloudSignals();
    connect(localDevice, &LocalDeviceObject::signalBindFinished, this, &MainFrame::slotLocalDeviceBindFinished);
    connect(localDevice, &LocalDeviceObject::signalDataUpdated, this, &MainFrame::slotLocalDeviceDataUpdated);
    connect(localDevice, &LocalDeviceObject::signalDisconnected, this, &MainFrame::slotLocalDeviceDisconnced);
    VPN_Android::VpnManager::instance();
}

void MainFrame::connectCloudSignals()
{
    cloudSignalsConnected = true;
    registerCloudMetaTypes();
    connect(cloudClient, &VPNClient::LoginSignal, this, &MainFrame::onLoginFinished);
    connect(cloudClient, &VPNClient::LogoutSignal, this, &MainFrame::onLogoutFinished);
    connect(cloudClient, &VPNClient::DropLineSignal, this, &MainFrame::onDropLineSignal);
    connect(cloudClient, &VPNClient::QueryBoxListSignal, this, &MainFrame::onQueryBoxListSignal);
    connect(cloudClient, &VPNClient::QueryBoxInfoSignal, this, &MainFrame::onQueryBoxInfoSignal);
    connect(cloudClient, &VPNClient::ConnectSignal, this, &MainFrame::onConnectSignal);
    connect(cloudClient, &VPNClient::DisconnectSignal, this, &MainFrame::onDisconnectSignal);
    VPN_Android::VpnManager* vpn = VPN_Android::VpnManager::instance();
    connect(vpn, &VPN_Android::VpnManager::signalVPNStatus, this, &MainFrame::onVpnStateChanged);
    connect(vpn, &VPN_Android::VpnManager::signalRunStatus, this, &MainFrame::onVpnRunState);
}

void MainFrame::setClock(Clock newClock)
{
    clock = std::move(newClock);
}

qint64 MainFrame::now() const
{
    return clock ? clock() : QDateTime::currentMSecsSinceEpoch();
}

void MainFrame::setVpnTarget(const QString& sn, int operation)
{
    mVpnDevice.mSn = sn;
    mVpnDevice.mOperation = operation;
    mVpnDevice.mRow = -1;
}

// --- Window control and pages --------------------------------------------------

void MainFrame::onMinimizeClicked()
{
    showMinimized();
}

void MainFrame::onClosedClicked()
{
    close();
}

void MainFrame::onMaximizeClicked()
{
    toggleMaximize();
}

void MainFrame::onTitleDoubleClicked()
{
    toggleMaximize();
}

void MainFrame::toggleMaximize()
{
    const bool maximized = isMaximized();
    titleBar->setMaxButtonIcon(maximized);
    if (maximized) {
        showNormal();
        setMovable(true);
    } else {
        showMaximized();
        setMovable(false);
    }
}

void MainFrame::showPage(int index)
{
    pages->setCurrentIndex(index);
    currentPage = index;
    titleBar->setSettingVisible(index == 0);
}

void MainFrame::applyLoginState()
{
    devicePage()->setSearchBoxVisible(true);
    devicePage()->setItemText(C::ActionLogout, C::logoutText());
    titleBar->setSettingVisible(loginState != 2);
    if (loginState == 2) {
        showPage(1);
        onPageRefresh(0);
    } else {
        resetCloudState();
        showPage(0);
    }
}

void MainFrame::resetCloudState()
{
    refreshTimer->stop();
    deviceTimer->stop();
    VPN_Android::VpnManager::instance()->quit(false);
    devicePage()->clearSearch();
    boxes.clear();
    connectedSn.clear();
    deviceRows.clear();
    mVpnDevice.reset();
    selectedRow = 0;
    devicePage()->updatePageRows(0, QVariantList());
}

void MainFrame::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (!quitting && MessageBox::question(this, C::closeTitle(), C::closeText(), C::confirm(), C::cancel()) != 0)
        return;
    closeWithoutQuestion();
    event->accept();
}

void MainFrame::closeWithoutQuestion()
{
    if (quitting)
        return;
    quitting = true;
    cloudClient->Logout();
    localDevice->unbindDevice();
    // Ends the local forwarding: the panel's bridge goes off, the route goes.
    localPage()->exitPage();
    QCoreApplication::quit();
}

// --- Cloud login and connection events -------------------------------------------

void MainFrame::onLoginAction(const QString& name, const QString& pswd, int debugMode)
{
    bool result = false;
    if (debugMode == 0)
        result = loginCloud(name, pswd);
    else if (debugMode == 1)
        result = connectDeviceByIp(name);
    else
        return;
    loginMode = debugMode;
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
    loginState = bSuc ? 2 : 0;
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
    loginState = 0;
    applyLoginState();
}

void MainFrame::onDropLineSignal()
{
    qDebug().noquote() << "onDropLineSignal ..." << QDateTime::currentMSecsSinceEpoch();
    loginState = 0;
    if (currentPage == 0 || dropNoticeShowing.load())
        return;
    dropNoticeShowing = true;
    if (vncWindow)
        endViewerWindow(vncWindow);
    MessageBox::information(this, C::dropTitle(), C::dropText(), C::confirm());
    applyLoginState();
    dropNoticeShowing = false;
}

// --- Direct device connection ----------------------------------------------------

void MainFrame::onLocalDebugAction(const QString& netIntf, const QString)
{
    bool cancelled = false;
    LocalDebugView* local = localPage();
    const QMetaObject::Connection cancel =
        connect(local, &LocalDebugView::cancelComplete, this, [&cancelled] { cancelled = true; }, Qt::DirectConnection);
    local->setNetIntf(netIntf);
    disconnect(cancel);
    if (cancelled) {
        local->setNetIntf(QString());
    } else {
        showPage(2);
        loginMode = 1;
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
        showPage(1);
        devicePage()->setDirectMode(true);
        devicePage()->setSearchBoxVisible(false);
        devicePage()->setItemText(C::ActionLogout, C::exitText());
        showLocalDeviceRow(true);
        loginPage()->saveSettings();
    } else if (err == 1) {
        MessageBox::warning(this, C::connectFailedTitle(), C::deviceNetText(), C::confirm());
        loginState = 0;
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
    const int answer = MessageBox::question(this, C::disconnectedTitle(), C::reconnectText(), C::confirm(), C::cancel());
    const QString ip = localDevice->deviceIp();
    localDevice->unbindDevice();
    if (answer == 0) {
        localDevice->bindDevice(ip);
    } else {
        loginState = 0;
        applyLoginState();
    }
}

void MainFrame::onApplicationStateChanged(Qt::ApplicationState state)
{
    const Qt::ApplicationState previous = appState;
    if (state == Qt::ApplicationActive && previous == Qt::ApplicationSuspended && loginMode == 1 && currentPage == 1) {
        const QString ip = localDevice->deviceIp();
        if (!ip.isEmpty()) {
            localDevice->unbindDevice();
            localDevice->bindDevice(ip);
            qDebug().noquote() << "onApplicationStateChanged 111";
        }
    } else if (state == Qt::ApplicationSuspended && previous == Qt::ApplicationInactive && loginMode == 1
               && currentPage == 1) {
        qDebug().noquote() << "onApplicationStateChanged 222";
        localDevice->unbindDevice();
    }
    appState = state;
}

// --- Cloud device list -----------------------------------------------------------

void MainFrame::onTimerRefresh()
{
    if (loginState == 2)
        onPageRefresh(0);
}

void MainFrame::onPageRefresh(int page)
{
    if (loginState == 0) {
        qDebug().noquote() << "UnLogin, stop to QueryBoxList";
        return;
    }
    if (page != 0)
        return;
    if (loginMode == 0) {
        qDebug().noquote() << "to QueryBoxList...";
        cloudClient->QueryBoxList();
    } else if (loginMode == 1) {
        emit localDevice->signalManualRefresh();
    }
}

void MainFrame::onQueryBoxListSignal(bool bSuc, QVector<stBoxData> newBoxes, QString strErrMsg)
{
    qDebug().noquote() << "QueryBoxList " + QString(bSuc ? "true" : "false") + " size: "
                              + QString::number(newBoxes.size()) + strErrMsg;
    if (!bSuc) {
        const qint64 t = now();
        if (listFailSince == 0) {
            listFailSince = t;
            return;
        }
        if (t < listFailSince || t - listFailSince <= C::kListFailDropMs)
            return;
        onDropLineSignal();
        return;
    }
    listFailSince = 0;

    if (!connectedSn.isEmpty()) {
        bool stillConnected = false;
        for (const stBoxData& b : newBoxes)
            stillConnected = stillConnected || (b.sn == connectedSn && b.state == 3);
        if (!stillConnected) {
            VPN_Android::VpnManager::instance()->quit(false);
            connectedSn.clear();
            if (vncWindow)
                endViewerWindow(vncWindow);
            MessageBox::information(this, C::noticeTitle(), C::linkEndedText(), C::confirm());
        }
    }

    if (!deviceRows.isEmpty() && newBoxes.size() == boxes.size()) {
        for (int i = 0; i < newBoxes.size(); ++i)
            qDebug().noquote() << "QueryBoxList " << i << newBoxes.at(i).sn << newBoxes.at(i).spareText
                               << newBoxes.at(i).iccid << newBoxes.at(i).state;
        if (CloudDeviceRows::sameBoxes(newBoxes, boxes)) {
            qDebug().noquote() << "QueryBoxList noChange";
            return;
        }
    }
    boxes = newBoxes;
    onUpdateDeviceTable();
}

void MainFrame::onUpdateDeviceTable()
{
    if (loginMode == 1)
        return;
    qDebug().noquote() << "Update device list...";
    DeviceView* page = devicePage();

    deviceRows = CloudDeviceRows::merge(DeviceDatas::instance()->findByAccount(userName, password), boxes, userName,
                                        password);
    CloudDeviceRows::sortRows(deviceRows, page->sortColumn(), page->isAscending(), mVpnDevice.mSn,
                              mVpnDevice.mOperation);

    // The device the table still shows in the chosen row, looked up among
    // the rebuilt records: the end of a VPN operation empties the records
    // before the next reply, so a look-up before the rebuild finds nothing.
    stDeviceData chosen;
    const bool hadChoice = recordOfRow(selectedRow, chosen);

    const QString search = DeviceDatas::instance()->searchText();
    const QList<stDeviceData> shown = search.isEmpty() ? deviceRows : DeviceDatas::search(deviceRows, search);

    // Rows of the table are places in the shown list, with or without a
    // search text: the VPN target's row and the selection are found there.
    if (mVpnDevice.mOperation != 0 && !mVpnDevice.mSn.isEmpty())
        mVpnDevice.mRow = DeviceDatas::indexOf(shown, mVpnDevice.mSn);
    selectedRow = hadChoice ? DeviceDatas::indexOf(shown, chosen.deviceNo) : 0;
    if (selectedRow < 0)
        selectedRow = 0;

    QVariantList rows;
    rows.reserve(shown.size());
    for (int i = 0; i < shown.size(); ++i)
        rows.append(makeDeviceRow(shown.at(i), i, false));
    page->updatePageRows(0, rows);
    page->selectRow(selectedRow);

    if (selectedRow >= shown.size())
        selectedRow = 0;
    onSelectedRow(selectedRow);
    if (mVpnDevice.mOperation != 0 && mVpnDevice.mRow != -1)
        refreshVpnRow(true);
}

void MainFrame::onSelectedRow(int row)
{
    if (loginMode != 0)
        return;
    selectedRow = row;
    stDeviceData record;
    if (recordOfRow(row, record))
        devicePage()->setConnectState(record.state == 3, record.state == 1);
    else
        devicePage()->setConnectState(false, false);
}

bool MainFrame::recordOfRow(int row, stDeviceData& out)
{
    const QVariant key = devicePage()->cellValue(row, DeviceView::keyColumn());
    if (!key.isValid())
        return false;
    const int at = DeviceDatas::indexOf(deviceRows, key.toString());
    if (at < 0)
        return false;
    out = deviceRows.at(at);
    return true;
}

void MainFrame::refreshVpnRow(bool busy)
{
    DeviceView* page = devicePage();
    const int shownRows = page->table() ? page->table()->rowCount() : 0;
    if (mVpnDevice.mRow == -1 || mVpnDevice.mRow >= shownRows)
        return;
    stDeviceData record;
    if (!recordOfRow(mVpnDevice.mRow, record))
        return;
    page->setPageRow(0, mVpnDevice.mRow, makeDeviceRow(record, mVpnDevice.mRow, busy).toList());
}

std::optional<MainFrame::ChosenPanel> MainFrame::chosenPanel(int needs)
{
    ChosenPanel panel;
    panel.row = devicePage()->currentRow();
    const bool hasRecord = panel.row >= 0 && recordOfRow(panel.row, panel.record);
    if (panel.row < 0 || ((needs & NeedRecord) && !hasRecord)) {
        MessageBox::warning(this, C::errorTitle(), C::selectDeviceText(), C::confirm());
        return std::nullopt;
    }
    if ((needs & NeedRecord) || loginMode == 0) {
        if (!hasRecord) {
            MessageBox::warning(this, C::errorTitle(), C::notLinkedText(), C::confirm());
            return std::nullopt;
        }
        panel.address = panel.record.lanIp;
    } else {
        panel.address = localDevice->deviceIp();
    }
    if ((needs & NeedAddress) && panel.address.isEmpty()) {
        MessageBox::warning(this, C::errorTitle(), C::notLinkedText(), C::confirm());
        return std::nullopt;
    }
    return panel;
}

QVariant MainFrame::makeDeviceRow(const stDeviceData& record, int index, bool busy)
{
    return CloudDeviceRows::makeDeviceRow(record, index, busy, mVpnDevice.mOperation);
}

bool MainFrame::compareRows(const stDeviceData& a, const stDeviceData& b)
{
    DeviceView* page = devicePage();
    const int column = page->sortColumn();
    const QString ka = CloudDeviceRows::sortKey(a, column, mVpnDevice.mSn, mVpnDevice.mOperation);
    const QString kb = CloudDeviceRows::sortKey(b, column, mVpnDevice.mSn, mVpnDevice.mOperation);
    return page->isAscending() ? ka < kb : kb < ka;
}

QString MainFrame::statusSortKey(const stDeviceData& record)
{
    return CloudDeviceRows::statusSortKey(record, mVpnDevice.mSn, mVpnDevice.mOperation);
}

int MainFrame::classifySn(const QString& sn)
{
    return CloudDeviceRows::classifySn(sn);
}

void MainFrame::deviceTypeTexts(const stDeviceData& record, QString& type, QString& network)
{
    CloudDeviceRows::deviceTypeTexts(record, type, network);
}

QString MainFrame::decodeUnicodeEscapes(const QString& text)
{
    return CloudDeviceRows::decodeUnicodeEscapes(text);
}

// --- Actions ---------------------------------------------------------------------

namespace {

stBoxData targetBox(const QString& sn)
{
    stBoxData box;
    box.sn = sn;
    return box;
}

// A content box sized to 0.8 of the window, as the help and log boxes are.
void sizeToWindow(MessageBox& box, QWidget* window)
{
    box.resize(int(std::lround(window->width() * 0.8)), int(std::lround(window->height() * 0.8)));
}

} // namespace

void MainFrame::onOperActioned(QString, int action)
{
    switch (action) {
    case C::ActionLogout: {
        int answer = 0;
        if (loginMode == 0)
            answer = MessageBox::question(this, C::logoutText(), QStringLiteral("确定要注销登录吗?"), C::confirm(),
                                          C::cancel());
        else if (loginMode == 1)
            answer = MessageBox::question(this, C::exitText(), QStringLiteral("确定要关闭连接吗?"), C::confirm(),
                                          C::cancel());
        if (answer != 0)
            return;
        cloudClient->Logout();
        localDevice->unbindDevice();
        break;
    }
    case C::ActionConnect:
        requestConnect();
        break;
    case C::ActionStop:
        requestStop();
        break;
    case C::ActionVnc:
        if (const auto panel = chosenPanel(NeedAddress))
            startVnc(panel->address);
        break;
    case C::ActionPass:
        // The pass-through tool starts even for a record without an address.
        if (const auto panel = chosenPanel(NeedRow))
            VPN_Android::VpnManager::instance()->startTransparent(panel->address);
        break;
    case C::ActionExport:
        exportFromDialog();
        break;
    case C::ActionImport:
        importFromDialog();
        break;
    case C::ActionSave: {
        if (MessageBox::question(this, C::saveTitle(), C::saveQuestionText(), C::confirm(), C::cancel()) != 0)
            return;
        const bool saved = DeviceDatas::instance()->addDevice(deviceRows);
        MessageBox::information(this, C::saveTitle(), saved ? C::savedText() : C::saveFailedText(), C::confirm());
        break;
    }
    case C::ActionRefresh:
        onPageRefresh(devicePage()->currentPage());
        break;
    case C::ActionHelp:
        onShowHelpView();
        break;
    case C::ActionDebugLog:
        showDebugLog();
        break;
    case C::ActionFtp:
        // Beside the program; the address is the only argument, no shell.
        if (const auto panel = chosenPanel(NeedRecord | NeedAddress))
            QProcess::startDetached(ProgramPath::resolve(C::fileToolName()), {panel->address});
        break;
    default:
        break;
    }
}

void MainFrame::exportFromDialog()
{
    QFileDialog dialog(this);
    dialog.setWindowTitle(C::exportDialogTitle());
    dialog.setViewMode(QFileDialog::Detail);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString folder = dialog.selectedFiles().first();
    qDebug().noquote() << "selected: " + folder;
    if (folder.isEmpty())
        return;
    const QString path = folder + QStringLiteral("/DeviceList.csv");
    if (exportDeviceList(path))
        MessageBox::information(this, C::exportTitle(), C::exportedText() + path, C::confirm());
    else
        MessageBox::warning(this, C::errorTitle(), C::exportFailedText() + path, C::confirm());
}

void MainFrame::importFromDialog()
{
    QFileDialog dialog(this);
    dialog.setWindowTitle(C::importDialogTitle());
    dialog.setNameFilters({QStringLiteral("CSV File(*.csv)"), QStringLiteral("All Files(*.*)")});
    dialog.setViewMode(QFileDialog::Detail);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().first();
    if (path.isEmpty())
        return;
    // A file of the wrong shape ends the import here: nothing of it is read.
    if (!DeviceDatas::isDeviceCsv(path)) {
        MessageBox::warning(this, C::importTitle(), C::badImportText(), C::confirm());
        return;
    }
    QList<stDeviceData> records;
    if (!DeviceDatas::readDeviceCsv(path, records)
        && MessageBox::question(this, C::importTitle(), C::importConflictText(), C::confirm(), C::cancel()) != 0)
        return;
    DeviceDatas::instance()->addDevice(DeviceDatas::findByAccountIn(records, userName, password));
    GlobalConfig::instance()->save();
    onUpdateDeviceTable();
    MessageBox::information(this, C::importTitle(), C::importedText(), C::confirm());
}

bool MainFrame::exportDeviceList(const QString& path)
{
    // The export is written whole or not at all, readable by its owner only
    // (it carries the account's password). Unlike the program's own lists it
    // makes no folder: the user chose an existing one.
    if (!QFileInfo(path).absoluteDir().exists() || !DeviceDatas::writeExportCsv(path, deviceRows)) {
        qDebug().noquote() << "SaveData error: " + path;
        return false;
    }
    return true;
}

void MainFrame::showDebugLog()
{
    // The lines still held in memory go to the file first, so the box shows the latest.
    Logger::instance()->flush();
    MessageBox box(this, C::debugLogTitle(), C::clearText(), C::closeButtonText());
    box.setContentWidget(new HelpView(Tarnwick::Constants::kLogFile, &box, true));
    sizeToWindow(box, this);
    if (box.exec() == 0)
        QFile::remove(Tarnwick::Constants::kLogFile);
}

void MainFrame::onShowHelpView()
{
    MessageBox box(this, C::helpTitle(), QString(), QString());
    box.setContentWidget(new HelpView(Tarnwick::Constants::kHelpFile, &box));
    sizeToWindow(box, this);
    box.exec();
}

void MainFrame::onSettingClicked(QString, int action)
{
    switch (action) {
    case C::ActionSetting: {
        MessageBox box(this, C::settingTitle(), C::settingConfirmText(), QString());
        SettingView* view = new SettingView(&box);
        box.setContentWidget(view);
        box.setButtonAlignment(Qt::AlignRight);
        box.setButton1Handler([view] { return view->saveSettings(); });
        box.exec();
        break;
    }
    case C::ActionHelp:
        onShowHelpView();
        break;
    case C::ActionAbout: {
        MessageBox box(this, C::aboutTitle(), C::aboutConfirmText(), QString());
        QWidget* content = new QWidget(&box);
        QVBoxLayout* layout = new QVBoxLayout(content);
        layout->setAlignment(Qt::AlignLeft);
        layout->addWidget(new QLabel(Tarnwick::Constants::kVersionText, content), 0, Qt::AlignLeft);
        layout->addWidget(new QLabel(Tarnwick::Constants::kReleaseDateText, content), 0, Qt::AlignLeft);
        box.setContentWidget(content);
        box.exec();
        break;
    }
    default:
        break;
    }
}

void MainFrame::startVnc(QString ip)
{
    if (vncWindow)
        endViewerWindow(vncWindow);
    vncWindow = new VncViewerWindow(ip);
    vncWindow->show();
}

void MainFrame::stopVnc()
{
    if (vncWindow)
        endViewerWindow(vncWindow);
}

// --- Remote device VPN connection ------------------------------------------------

void MainFrame::setStepInterval(int ms)
{
    stepMs = ms;
}

void MainFrame::requestConnect()
{
    if (loginMode == 1) {
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
    if (record.state != 1) {
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
    mVpnDevice.mOperation = 2;
    mVpnDevice.mRow = panel->row;
    refreshVpnRow(true);
    deviceTimer->start(stepMs);
}

void MainFrame::requestStop()
{
    if (loginMode == 1) {
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
    mVpnDevice.mOperation = 3;
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
    if (loginState == 0)
        mVpnDevice.mOperation = 0;

    if (mVpnDevice.mOperation == 2) {
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
                const QString text = mVpnDevice.mDeviceState != 3 ? C::deviceNetFailedText()
                                     : mVpnDevice.mVpnRunState != 1 ? C::localNetFailedText()
                                                                     : C::linkFailedText();
                MessageBox::warning(this, C::connectText(), text, C::confirm());
                cloudClient->Disconnect(targetBox(mVpnDevice.mSn));
                vpn->quit(false);
                mVpnDevice.mOperation = 5;
                refreshVpnRow(true);
            } else if (mVpnDevice.mDeviceState == 3 && mVpnDevice.mVpnRunState == 1) {
                mVpnDevice.mOperation = 0;
                mVpnDevice.mQuerying = false;
                mVpnDevice.mTicks = 0;
                connectedSn = mVpnDevice.mSn;
                MessageBox::information(this, C::connectText(), C::linkedText(), C::confirm());
            }
        } else if (prepareVpnPermission()) {
            mVpnDevice.mQuerying = true;
            mVpnDevice.mTicks = 0;
        } else {
            mVpnDevice.mOperation = 0;
            mVpnDevice.mQuerying = false;
            finish = true;
        }
    } else if (mVpnDevice.mOperation == 3) {
        ++mVpnDevice.mTicks;
        if (mVpnDevice.mDeviceState != 3) {
            mVpnDevice.mTicks = 0;
            vpn->quit(false);
            mVpnDevice.mOperation = 0;
            mVpnDevice.mQuerying = false;
            MessageBox::information(this, C::stopText(), C::stoppedText(), C::confirm());
        } else if (mVpnDevice.mTicks > C::kVpnConnectSteps) {
            mVpnDevice.mTicks = 0;
            MessageBox::warning(this, C::stopText(), C::stopFailedText(), C::confirm());
            mVpnDevice.mOperation = 0;
            mVpnDevice.mQuerying = false;
            finish = true;
        }
    } else if (mVpnDevice.mOperation == 5) {
        if (++mVpnDevice.mTicks > C::kVpnFailStopSteps || mVpnDevice.mDeviceState != 3) {
            mVpnDevice.mOperation = 0;
            mVpnDevice.mQuerying = false;
            mVpnDevice.mTicks = 0;
            finish = true;
        }
    }

    if (!finish) {
        if (mVpnDevice.mQuerying)
            cloudClient->QueryBoxInfo(targetBox(mVpnDevice.mSn));
        if (mVpnDevice.mOperation != 0) {
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
    if (loginState == 0)
        return false;
    const bool ready = vpn->prepareVpn();
    if (!ready)
        MessageBox::warning(this, C::errorTitle(), C::vpnPermissionText(), C::confirm());
    return ready;
}

void MainFrame::onVpnRunState(int state)
{
    if (mVpnDevice.mOperation == 2 && state == 2)
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
    if (mVpnDevice.mOperation == 0)
        return;
    if (!bSuc) {
        mVpnDevice.mDeviceState = 0;
        return;
    }
    if (data.sn != mVpnDevice.mSn)
        return;
    mVpnDevice.mDeviceState = data.ip.isEmpty() ? 1 : 3;
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
    mVpnDevice.mVpnRunState = state == QLatin1String("CONNECTED") ? 1 : 2;
}
