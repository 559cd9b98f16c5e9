#pragma once

#include "quillet/dialogs/titlebardrag.h"
#include "quillet/dispatch/uimsg.h"

#include <QMainWindow>
#include <QPoint>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class MsgDispatcher;
class QSystemTrayIcon;
class TransparentServerRpc;
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
    // Ends the work under way within Timing::endLimitMs: the running item
    // is told to give up, the pass-through ends ("Terminate") after it; an
    // item that runs on past the limit is logged and left running with
    // what it uses.
    ~MainWindow() override;

    void setIp(const QString& ip);

    // For tests and the tray: the form, the pass-through state, the last port drawn.
    Ui_MainWindow* form() const { return ui.get(); }
    bool passThroughRunning() const { return m_running; }
    int lastTcpPort() const { return m_lastTcpPort; }
    int readyCountdownValue() const;
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
    struct Work;
    struct WaitOptions {
        QString busyText;
        int limitMs = 0;
        bool overlay = true;
        bool passwordHidesOverlay = false;
        std::function<void()> beforePost; // after the overlay is shown
        const char* name = nullptr;       // of the work item, for the log
    };
    // Runs job on the dispatcher and waits for its Complete; false when the
    // wait ended without it (the application is closing).
    bool runModal(UiMsg::Job job, const WaitOptions& options, int* result);

    bool collectChannelParams(std::string* address, std::string* panelPort, std::string* ownPort);
    // On the dispatcher thread, through what the work items share.
    static bool verifyProjectPassword(Work& work, TransparentServerRpc* rpc, UiMsg* msg);
    void startWatchdog();
    void stopWatchdog();
    void showPairButtons(bool present);

    std::unique_ptr<Ui_MainWindow> ui;
    QSystemTrayIcon* trayIcon = nullptr;
    int readyTimerId = -1;
    TitleBarDrag m_drag;
    // The pass-through's client, the local pass-through thread and the
    // flags that the work items use: shared with each of them, so that one
    // that outlasts the window's end still has them.
    std::shared_ptr<Work> m_work;
    std::unique_ptr<MsgDispatcher> dispatcher;

    VirtualCom* m_pair = nullptr;
    // The GUI thread's own view of a running pass-through.
    bool m_running = false;
    bool m_checkRunning = false;
    int m_lastTcpPort = -1;
};
