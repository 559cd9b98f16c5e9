#pragma once

#include "quillet/dialogs/titlebardrag.h"
#include "quillet/dispatch/uimsg.h"

#include <QMainWindow>
#include <QPoint>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

class MsgDispatcher;
class QSystemTrayIcon;
class TransparentServerRpc;
class TransparentThread;
class Ui_MainWindow;
class VirtualCom;

// Quillet's window: the virtual port pair (install, uninstall, rename), the
// panel's address and serial port, and the start and stop of a pass-through.
// Every blocking job runs as a work item on the dispatcher thread while the
// window waits in a local event loop behind the busy overlay.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // pair: the virtual pair to drive (VirtualCom::instance() when null).
    explicit MainWindow(QWidget* parent = nullptr, VirtualCom* pair = nullptr);
    ~MainWindow() override;

    void setIp(const QString& ip);

    // For tests and the tray: the form, the pass-through state, the last port drawn.
    Ui_MainWindow* form() const { return ui.get(); }
    bool passThroughRunning() const { return m_running; }
    int lastTcpPort() const { return m_lastTcpPort; }
    int readyCountdownValue() const { return readyCountdown; }
    bool watchdogActive() const { return readyTimerId != -1; }

    // The panel's port name of a combo index: "COM1".."COM15", "" outside.
    static std::string panelPortName(int index);
    // A port of 30000..30099.
    static int drawTcpPort();

signals:
    void MoveWindowSignal(QPoint);
    void GetPasswdStartSignal();
    void GetPasswdEndSignal(bool, QString);

public slots:
    void Move(QPoint deltaPos);
    void OpenVirtualChannel();
    void CloseVirtualChannel();
    void InstallVirtualCom();
    void UninstallVirtualCom();
    void LockUi();
    void UnlockUi();
    void SetStatus(bool bSuc, QString strMsg);
    void GetPasswd();
    void ChangeVirtualPort();

protected:
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    struct WaitOptions {
        QString busyText;
        int limitMs = 0;
        bool overlay = true;
        bool passwordHidesOverlay = false;
        std::function<void()> beforePost; // after the overlay is shown
    };
    // Runs job on the dispatcher and waits for its Complete; false when the
    // wait ended without it (the application is closing).
    bool runModal(UiMsg::Job job, const WaitOptions& options, int* result);

    bool collectChannelParams(std::string* address, std::string* panelPort, std::string* ownPort);
    bool verifyProjectPassword(TransparentServerRpc* rpc, UiMsg* msg);
    void startWatchdog();
    void stopWatchdog();
    void showPairButtons(bool present);
    // Sleeps in short steps; false when the window is closing.
    bool pause(int ms) const;

    std::unique_ptr<Ui_MainWindow> ui;
    QSystemTrayIcon* trayIcon = nullptr;
    int readyTimerId = -1;
    std::atomic<int> readyCountdown{0};
    TitleBarDrag m_drag;
    // A child of the window, ended before the panel's client.
    std::unique_ptr<TransparentThread> transparentThread;
    // Made, used and dropped by work items on the dispatcher (and by the
    // destructor); dropping it sends "Terminate" to the panel.
    std::unique_ptr<TransparentServerRpc> serverRpc;
    std::unique_ptr<MsgDispatcher> dispatcher;

    VirtualCom* m_pair = nullptr;
    // The GUI thread's own view of a running pass-through.
    bool m_running = false;
    bool m_checkRunning = false;
    int m_lastTcpPort = -1;
    std::atomic<bool> m_abort{false};
    std::atomic<bool> m_passwordPending{false};
};
