#include "tarnwick/ui/mainwindow/mainframe.h"

// The main window itself: construction, wiring, window control, page
// switching, the login-state switch, the reset after a logout, closing and
// destruction. The flows live beside it, one file each: mainframe_login,
// mainframe_direct, mainframe_list, mainframe_vpn and mainframe_actions.

#include "platform/windowfit/windowfit.h"
#include "tarnwick/cloud/vpnclient.h"
#include "tarnwick/cloud/vpnmanager.h"
#include "tarnwick/core/constants.h"
#include "tarnwick/core/forwarding/localnetforwardmanager.h"
#include "tarnwick/core/panelrpc/localdeviceobject.h"
#include "tarnwick/core/screentool.h"
#include "tarnwick/ui/localdebugview.h"
#include "tarnwick/ui/mainwindow/deviceview.h"
#include "tarnwick/ui/mainwindow/mainwindowconstants.h"
#include "tarnwick/ui/mainwindow/widgetlogin.h"
#include "tarnwick/vnc/vncviewerwindow.h"
#include "tarnwick/widgets/messagebox.h"
#include "tarnwick/widgets/widgettitle.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace C = Tarnwick::MainWindow;

MainFrame::MainFrame(QWidget* parent)
    : MovableWidget(parent)
{
    // The state the application is in now: a first report of "active" after
    // a direct connection is not a resume from suspension.
    appState = QGuiApplication::applicationState();
    cloudClient = &VPNClient::instance();
    localDevice = std::make_unique<LocalDeviceObject>();
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
        localDevice.reset();
    }
    vncWindow.reset();
    // The pages go while the window is still whole: the local page ends its
    // forwarding in its destructor and may wait with events running.
    refreshTimer->stop();
    deviceTimer->stop();
    delete localPage();
    qDebug().noquote() << "MainFrame::~MainFrame end";
}

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
    connect(
        local, &LocalDebugView::exitPageSignal, this,
        [this, local] {
            if (MessageBox::question(this, C::exitTitle(), C::exitLocalText(), C::confirm(), C::cancel())
                == MessageBox::Button1) {
                local->exitPage();
                showPage(LoginPage);
            }
        },
        Qt::DirectConnection);

    layout->addWidget(pages);
    setStyleSheet(QStringLiteral("QWidget#mainFrame{   background-color: white;  border: 1px solid grey;}"));
    const int margin = ScreenTool::scale(1);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(0);
    setLayout(layout);
    showPage(LoginPage);
    // Never larger than the screen it opens on, and centred there.
    Platform::WindowFit::fitAndCentre(this);
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
    connect(localDevice.get(), &LocalDeviceObject::signalBindFinished, this, &MainFrame::slotLocalDeviceBindFinished);
    connect(localDevice.get(), &LocalDeviceObject::signalDataUpdated, this, &MainFrame::slotLocalDeviceDataUpdated);
    connect(localDevice.get(), &LocalDeviceObject::signalDisconnected, this, &MainFrame::slotLocalDeviceDisconnced);
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

void MainFrame::showPage(Page index)
{
    pages->setCurrentIndex(index);
    currentPage = index;
    titleBar->setSettingVisible(index == LoginPage);
}

void MainFrame::applyLoginState()
{
    devicePage()->setSearchBoxVisible(true);
    devicePage()->setItemText(C::ActionLogout, C::logoutText());
    titleBar->setSettingVisible(loginState != LoggedIn);
    if (loginState == LoggedIn) {
        showPage(CloudPage);
        onPageRefresh(0);
    } else {
        resetCloudState();
        showPage(LoginPage);
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
    if (!quitting
        && MessageBox::question(this, C::closeTitle(), C::closeText(), C::confirm(), C::cancel())
               != MessageBox::Button1)
        return;
    closeWithoutQuestion();
    event->accept();
}

void MainFrame::closeWithoutQuestion()
{
    if (quitting)
        return;
    quitting = true;
    // The windows go at once; what the end still waits for, it waits for
    // with the rest of the program hidden, until endDeadline() at most.
    hide();
    if (vncWindow)
        vncWindow->hide();
    if (VncViewerWindow* viewer = localPage()->viewerWindow())
        viewer->hide();
    const QDeadlineTimer end = endDeadline();
    cloudClient->Logout();
    localDevice->unbindDevice();
    // Ends the local forwarding: the panel's bridge goes off when the panel
    // answers in time, the route goes.
    localPage()->netForwardManager()->endNetForward(end);
    localPage()->exitPage();
    QCoreApplication::quit();
}

QDeadlineTimer MainFrame::endDeadline()
{
    if (!endBy)
        endBy = QDeadlineTimer(C::kEndLimitMs);
    return *endBy;
}
