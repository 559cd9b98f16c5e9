#pragma once

// The main program's one top-level window: a frameless window dragged by its
// title bar, holding the login form (page 0), the cloud device page (1) and
// the local device page (2). It is the controller between the pages and the
// cloud session, the VPN manager and its own per-panel session object: it
// logs in and out, polls and shows the cloud device list, binds one panel
// directly, and closes in order.
//
// Everything here runs on the GUI thread, so the window takes no lock: the
// device object works on its own thread but reaches the window only through
// queued signals, and the cloud session, the VPN manager, the pages and the
// timers all live on the GUI thread. Slots can still be re-entered from the
// nested loops of the window's own boxes and dialogs.

#include "tarnwick/cloud/cloudrecords.h"
#include "tarnwick/core/devicedatas.h"
#include "tarnwick/ui/mainwindow/mainwindowconstants.h"
#include "tarnwick/widgets/movablewidget.h"

#include <QDeadlineTimer>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QVariant>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class DeviceView;
class LocalDebugView;
class LocalDeviceObject;
class QCloseEvent;
class QStackedWidget;
class QTimer;
class VPNClient;
class VncViewerWindow;
class WidgetLogin;
class WidgetTitle;
namespace VPN_Android {
enum class VpnRunStatus : int;
}

class MainFrame : public MovableWidget {
    Q_OBJECT
public:
    // Milliseconds since the epoch, for the list-failure time; tests inject one.
    using Clock = std::function<qint64()>;

    // The cloud session as the window sees it.
    enum LoginState { LoggedOut = 0, LoggedIn = 2 };
    // The pages of the stack, in its order.
    enum Page { LoginPage = 0, CloudPage = 1, LocalPage = 2 };

    explicit MainFrame(QWidget* parent = nullptr);
    ~MainFrame() override;

    // Cloud list rows (the arithmetic lives in CloudDeviceRows).
    static int classifySn(const QString& sn);
    static void deviceTypeTexts(const stDeviceData& record, QString& type, QString& network);
    static QString decodeUnicodeEscapes(const QString& text);
    QVariant makeDeviceRow(const stDeviceData& record, int index, bool busy);
    bool compareRows(const stDeviceData& a, const stDeviceData& b);
    QString statusSortKey(const stDeviceData& record);
    bool recordOfRow(int row, stDeviceData& out);
    void refreshVpnRow(bool busy);

    // Login.
    bool loginCloud(const QString& userName, const QString& pswd);
    static bool isValidUserName(const QString& name);
    static bool isValidPassword(const QString& pswd);
    bool connectDeviceByIp(const QString& ip);
    void showLocalDeviceRow(bool add);

    void showPage(Page index);
    void applyLoginState();
    void resetCloudState();
    void toggleMaximize();

    // What tests and the program's start read.
    WidgetTitle* title() const { return titleBar; }
    WidgetLogin* loginPage() const { return loginView; }
    DeviceView* devicePage() const { return cloudView; }
    LocalDebugView* localPage() const { return localView; }
    LocalDeviceObject* deviceObject() const { return localDevice.get(); }
    VncViewerWindow* viewerWindow() const { return vncWindow.get(); }
    QTimer* listTimer() const { return refreshTimer; }
    QTimer* stepTimer() const { return deviceTimer; }
    LoginState loginStateValue() const { return loginState; }
    Tarnwick::MainWindow::LoginMode loginModeValue() const { return loginMode; }
    Page currentPageIndex() const { return currentPage; }
    int selectedRowValue() const { return selectedRow; }
    qint64 listFailSinceValue() const { return listFailSince; }
    QList<stDeviceData> tableRecords() const { return deviceRows; }
    QString connectedDevice() const { return connectedSn; }
    Tarnwick::MainWindow::VpnOperation vpnOperationValue() const { return mVpnDevice.mOperation; }
    Tarnwick::MainWindow::VpnDeviceState vpnDeviceStateValue() const { return mVpnDevice.mDeviceState; }
    static bool isDropNoticeShowing() { return dropNoticeShowing.load(); }

    // Seams for tests: the clock, the connected panel and the VPN target
    // that the remote connection steps set.
    void setClock(Clock clock);
    void setConnectedSn(const QString& sn) { connectedSn = sn; }
    void setVpnTarget(const QString& sn, Tarnwick::MainWindow::VpnOperation operation);
    // The length of one VPN step (2000 ms in the program).
    void setStepInterval(int ms);

    // Ends the program as a confirmed close does (the windows hidden at
    // once, logout, the panel's bridge and the forwarding route taken back,
    // the event loop ended), without the question: for SIGTERM and SIGINT.
    void closeWithoutQuestion();
    // When the program's end must be over with whatever it still waits for
    // (a panel, the cloud service): kEndLimitMs after the first call, which
    // the close makes.
    QDeadlineTimer endDeadline();

    // Writes the cloud list as the export file; false when the file cannot
    // be opened or written.
    bool exportDeviceList(const QString& path);

public slots:
    void onSettingClicked(QString name, int action);
    void onMinimizeClicked();
    void onMaximizeClicked();
    void onClosedClicked();
    void onTitleDoubleClicked();
    void onApplicationStateChanged(Qt::ApplicationState state);
    void onLoginAction(const QString& userName, const QString& pswd, int debugMode);
    void onLocalDebugAction(const QString& netIntf, const QString ip);
    void onLocalDebugActionCancel();
    void onPageRefresh(int page);
    void onOperActioned(QString name, int action);
    void onTimerRefresh();
    void onTimerDevice();
    void onSelectedRow(int row);
    void onLoginFinished(bool bSuc, int usrType, int accessFlags, QString strErrMsg);
    void onLogoutFinished(bool bSuc, QString strErrMsg);
    void onDropLineSignal();
    void onQueryBoxListSignal(bool bSuc, QVector<stBoxData> boxes, QString strErrMsg);
    void onQueryBoxInfoSignal(bool bSuc, stBoxData data, QString strErrMsg);
    void onConnectSignal(bool bSuc, stBoxData data, QString strErrMsg);
    void onDisconnectSignal(bool bSuc, QString strSN, QString strErrMsg);
    void onVpnStateChanged(QString state, QString ip);
    void onVpnRunState(VPN_Android::VpnRunStatus state);
    void onShowHelpView();
    void onUpdateDeviceTable();
    void startVnc(QString ip);
    void stopVnc();

private slots:
    void slotLocalDeviceBindFinished(bool ret, int err);
    void slotLocalDeviceDataUpdated();
    void slotLocalDeviceDisconnced();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct VpnDevice {
        Tarnwick::MainWindow::VpnOperation mOperation = Tarnwick::MainWindow::VpnIdle;
        QString mSn;
        QString mIccid;
        QString mLanIp;
        Tarnwick::MainWindow::VpnDeviceState mDeviceState = Tarnwick::MainWindow::DeviceNotReported;
        Tarnwick::MainWindow::VpnRunState mVpnRunState = Tarnwick::MainWindow::VpnNotReported;
        bool mQuerying = false;
        bool mRetryPrepare = false;
        int mRow = -1;
        int mTicks = 0;
        void reset() { *this = VpnDevice(); }
    };

    // The panel of the cloud page's current row, for an action on it.
    struct ChosenPanel {
        int row = -1;
        stDeviceData record; // the row's record, when the list has one
        QString address;     // where the tools reach the panel
    };
    enum PanelNeed { NeedRow = 0, NeedRecord = 1, NeedAddress = 2 };
    // The address is the record's LAN address in cloud mode, and whenever
    // the record is needed; otherwise the directly bound panel's. Nothing,
    // after a warning, when the row cannot serve: "请先选择一个设备!" without
    // a row (or without the row's record when that is needed), "设备没有联机!"
    // without a record to take the address from, or without an address when
    // one is needed.
    std::optional<ChosenPanel> chosenPanel(int needs);

    void initUi();
    void initConnections();
    void connectCloudSignals();
    qint64 now() const;
    void requestConnect();
    void requestStop();
    // Ends a running tunnel and asks for the VPN permission; false when the
    // login is gone, or, after a warning, when the permission is not given.
    bool prepareVpnPermission();
    void exportFromDialog();
    void importFromDialog();
    void showDebugLog();

    Tarnwick::MainWindow::LoginMode loginMode = Tarnwick::MainWindow::CloudMode;
    Qt::ApplicationState appState = Qt::ApplicationState(0);
    WidgetTitle* titleBar = nullptr;
    QStackedWidget* pages = nullptr;
    // The three pages of the stack, in its order; children of the window.
    WidgetLogin* loginView = nullptr;
    DeviceView* cloudView = nullptr;
    LocalDebugView* localView = nullptr;
    Page currentPage = LoginPage;
    LoginState loginState = LoggedOut;
    bool quitting = false;
    std::optional<QDeadlineTimer> endBy; // from the close on
    VpnDevice mVpnDevice;
    QString connectedSn;
    bool cloudSignalsConnected = false;
    VPNClient* cloudClient = nullptr;
    // No parent: the object moves itself to a thread of its own.
    std::unique_ptr<LocalDeviceObject> localDevice;
    QString userName;
    QString password;
    QList<stDeviceData> deviceRows;
    QVector<stBoxData> boxes;
    QTimer* refreshTimer = nullptr;
    QTimer* deviceTimer = nullptr;
    int selectedRow = 0;
    qint64 listFailSince = 0;
    std::unique_ptr<VncViewerWindow> vncWindow;
    Clock clock;
    int stepMs = Tarnwick::MainWindow::kVpnStepMs;

    static std::atomic<bool> dropNoticeShowing;
};
