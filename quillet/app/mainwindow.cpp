#include "quillet/app/mainwindow.h"

#include "quillet/app/quilletconstants.h"
#include "quillet/dialogs/dialogstyle.h"
#include "quillet/dialogs/hmilogindlg.h"
#include "quillet/dialogs/projectstartdlg.h"
#include "quillet/dialogs/virtualporteditor.h"
#include "quillet/dispatch/msgdispatcher.h"
#include "quillet/forms/quilletresources.h"
#include "quillet/port/transparentthread.h"
#include "quillet/rpc/omberrpcobject.h"
#include "quillet/rpc/transparentserverrpc.h"
#include "quillet/virtualcom/virtualcom.h"
#include "quillet/widgets/busywidget.h"
#include "quillet/widgets/screentool.h"
#include "ui_mainwindow.h"

#include "framework/utils/leftrunning.h"
#include "platform/dispatch/nestedwait.h"
#include "platform/exceptionlog/exceptionlog.h"
#include "platform/windowfit/windowfit.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDebug>
#include <QGuiApplication>
#include <QListView>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QScreen>
#include <QSemaphore>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimerEvent>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>

using namespace Quillet;

namespace {

constexpr int kPauseStepMs = 20;

QString timeStamp()
{
    return QDateTime::currentDateTime().toString("yyyy/MM/dd hh:mm:ss:zzz");
}

} // namespace

struct MainWindow::Work {
    // The window is closing: waits and tries give up.
    std::atomic<bool> abort{false};
    std::atomic<bool> passwordPending{false};
    std::atomic<int> readyCountdown{0};
    // The local pass-through.
    TransparentThread relay;
    // Made, used and dropped by work items on the dispatcher; dropping it
    // sends "Terminate" to the panel.
    std::unique_ptr<TransparentServerRpc> serverRpc;
    // The window while it stands: the password request goes through its
    // signals, under the lock that its end takes to clear it.
    std::mutex windowLock;
    MainWindow* window = nullptr;

    // Sleeps in short steps; false when the window is closing.
    bool pause(int ms) const
    {
        for (int waited = 0; waited < ms; waited += kPauseStepMs) {
            if (abort)
                return false;
            QThread::msleep(static_cast<unsigned long>(std::min(kPauseStepMs, ms - waited)));
        }
        return !abort;
    }
};

MainWindow::MainWindow(QWidget* parent, VirtualCom* pair)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui_MainWindow>())
    , m_pair(pair ? pair : VirtualCom::instance())
{
    initQuilletResources();
    trayIcon = new QSystemTrayIcon(this);
    m_work = std::make_shared<Work>();
    m_work->window = this;
    dispatcher = std::make_unique<MsgDispatcher>();

    ui->setupUi(this);

    style()->unpolish(this);
    setStyleSheet(QuilletStyle::mainWindowStyleSheet());
    style()->polish(this);

    ui->startTransferBtn->setFixedHeight(ScreenTool::scale(24));
    ui->stopTransferBtn->setFixedHeight(ScreenTool::scale(24));
    ui->hmiPortcomboBox->setView(new QListView(ui->hmiPortcomboBox));
    ui->titleWidget->setFixedHeight(ScreenTool::scale(30));
    setFixedSize(ScreenTool::scale(323), ScreenTool::scale(382));

    trayIcon->setIcon(QIcon(kTrayIcon));
    trayIcon->setToolTip(text(Text::kTrayTip));
    if (QSystemTrayIcon::isSystemTrayAvailable())
        trayIcon->setVisible(true);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        qDebug() << "logicalDotsPerInch" << screen->logicalDotsPerInch();

    const std::string user = m_pair->userPort();
    if (!user.empty())
        ui->virtualComLineEdit->setText(QString::fromStdString(user));
    showPairButtons(!user.empty());

    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    // Centred on its screen, wherever the window manager would put it (the
    // top-left corner when another program's window fills the screen).
    Platform::WindowFit::fitAndCentre(this);

    connect(this, &MainWindow::MoveWindowSignal, this, &MainWindow::Move);
    connect(this, &MainWindow::GetPasswdStartSignal, this, &MainWindow::GetPasswd);

    dispatcher->start();
}

MainWindow::~MainWindow()
{
    // A work item may still run: the window closed during a modal wait. It
    // is told to give up (a password wait is answered, the start's tries
    // end); no request reaches this window any more.
    const QDeadlineTimer deadline(timing().endLimitMs);
    m_work->abort = true;
    {
        // A request is made under this lock: one is either answered here or
        // never made.
        std::lock_guard<std::mutex> lock(m_work->windowLock);
        if (m_work->passwordPending)
            emit GetPasswdEndSignal(false, text(Text::kLoginCancelled));
        m_work->window = nullptr;
    }
    if (readyTimerId != -1)
        killTimer(readyTimerId);
    readyTimerId = -1;
    m_work->relay.stop();

    // The pass-through ends on the panel after the item that runs, all of
    // it within the limit, whatever the panel does.
    auto ended = std::make_shared<QSemaphore>();
    std::unique_ptr<UiMsg> end = std::make_unique<UiMsg>([work = m_work, ended](UiMsg*) -> int {
        work->relay.stop();
        work->serverRpc.reset(); // sends "Terminate"
        ended->release();
        return 0;
    });
    end->setObjectName(QStringLiteral("end of the pass-through"));
    dispatcher->post(end);
    const bool done = ended->tryAcquire(1, static_cast<int>(deadline.remainingTime()));
    if (!dispatcher->stop(done ? static_cast<int>(deadline.remainingTime()) : 0)) {
        // It keeps what it uses (the shared work); the thread object stays
        // until the item has ended, and goes then.
        qWarning("Quillet: the window's end left work running after %d ms: the pass-through may stay open on the "
                 "panel",
                 timing().endLimitMs);
        FF::utils::LeftRunning::keepThread(std::move(dispatcher), nullptr, "the window's dispatcher");
    }
    ui.reset();
}

int MainWindow::readyCountdownValue() const
{
    return m_work->readyCountdown;
}

void MainWindow::setIp(const QString& ip)
{
    ui->serverIPLineEdit->setText(ip);
}

std::string MainWindow::panelPortName(int index)
{
    if (index < 0 || index >= kPanelPortCount)
        return std::string();
    return "COM" + std::to_string(index + 1);
}

int MainWindow::drawTcpPort()
{
    // Seeded by the system and safe from any thread, unlike rand().
    return static_cast<int>(QRandomGenerator::global()->bounded(kTcpPortCount)) + kTcpPortBase;
}

bool MainWindow::runModal(UiMsg::Job job, const WaitOptions& options, int* result)
{
    auto msg = std::make_unique<UiMsg>(std::move(job));
    if (options.name)
        msg->setObjectName(QString::fromLatin1(options.name));
    platform::NestedWait wait;
    wait.follow(msg.get());
    std::unique_ptr<BusyWidget> busy;
    if (options.overlay) {
        busy = std::make_unique<BusyWidget>(this, options.busyText, kBusyStep);
        busy->setTimeout(options.limitMs);
        // The title bar stays usable: closing the window while a job runs
        // ends the program, and the job with it (see the destructor).
        busy->leaveUncovered(ui->titleWidget);
        setCursor(Qt::BusyCursor);
    }
    connect(msg.get(), &UiMsg::State, this, &MainWindow::SetStatus);
    // The overlay closes when the wait ends (Complete wakes it), not through
    // a queued call of its own that the job's thread may post while the
    // overlay is being destroyed.
    QMetaObject::Connection hide;
    QMetaObject::Connection show;
    if (busy && options.passwordHidesOverlay) {
        BusyWidget* overlay = busy.get();
        hide = connect(this, &MainWindow::GetPasswdStartSignal, overlay, &QWidget::hide);
        show = connect(this, &MainWindow::GetPasswdEndSignal, overlay, [overlay] { overlay->show(); });
    }
    if (busy)
        busy->show();
    if (options.beforePost)
        options.beforePost();
    dispatcher->post(msg);
    // Every status text the job sent comes in before the wait ends.
    const bool completed = wait.exec() == platform::NestedWait::End::Woken;
    if (busy)
        busy->close();
    disconnect(hide);
    disconnect(show);
    if (options.overlay)
        setCursor(Qt::ArrowCursor);
    *result = wait.code();
    return completed;
}

void MainWindow::showPairButtons(bool present)
{
    ui->installBtn->setEnabled(!present);
    ui->uninstallBtn->setEnabled(present);
    ui->changeBtn->setEnabled(present);
}

void MainWindow::Move(QPoint deltaPos)
{
    move(pos() + deltaPos);
}

void MainWindow::LockUi()
{
    ui->installBtn->setEnabled(false);
    ui->uninstallBtn->setEnabled(false);
    ui->changeBtn->setEnabled(false);
    ui->serverIPLineEdit->setEditable(false);
    ui->hmiPortcomboBox->setEnabled(false);
    ui->startTransferBtn->setEnabled(false);
    ui->stopTransferBtn->setEnabled(true);
}

void MainWindow::UnlockUi()
{
    ui->installBtn->setEnabled(true);
    ui->uninstallBtn->setEnabled(true);
    ui->serverIPLineEdit->setEditable(true);
    ui->hmiPortcomboBox->setEnabled(true);
    ui->startTransferBtn->setEnabled(true);
    ui->stopTransferBtn->setEnabled(false);
    showPairButtons(!ui->virtualComLineEdit->text().isEmpty());
}

void MainWindow::SetStatus(bool bSuc, QString strMsg)
{
    QPalette palette = ui->statusLabel->palette();
    const int* rgb = bSuc ? QuilletStyle::kSuccessRgb : QuilletStyle::kFailureRgb;
    palette.setColor(QPalette::All, QPalette::WindowText, QColor(rgb[0], rgb[1], rgb[2], 255));
    ui->statusLabel->setPalette(palette);
    ui->statusLabel->setText(strMsg);
}

void MainWindow::InstallVirtualCom()
{
    VirtualCom* pair = m_pair;
    auto job = [pair](UiMsg* msg) -> int {
        emit msg->State(true, text(Text::kInstalling));
        if (pair->isInstalled() || pair->install()) {
            if (!pair->ownPort().empty() && !pair->userPort().empty()) {
                emit msg->State(true, text(Text::kInstallDone));
                return 0;
            }
        }
        emit msg->State(false, text(Text::kInstallFailed));
        return -1;
    };
    int r = -1;
    if (!runModal(job, {text(Text::kInstallBusy), timing().stopBusyLimitMs, true, false, {}, "install"}, &r))
        return;
    if (r < 0) {
        showPairButtons(false);
    } else {
        ui->virtualComLineEdit->setText(QString::fromStdString(m_pair->userPort()));
        showPairButtons(true);
    }
}

void MainWindow::UninstallVirtualCom()
{
    if (m_pair->isInUse()) {
        SetStatus(false, text(Text::kUninstallInUse));
        return;
    }
    VirtualCom* pair = m_pair;
    auto job = [pair](UiMsg* msg) -> int {
        emit msg->State(true, text(Text::kUninstalling));
        pair->uninstall();
        // Done only when the list answers without a pair.
        const std::optional<std::string> left = pair->findOwnPort();
        if (left && left->empty()) {
            emit msg->State(true, text(Text::kUninstallDone));
            return 0;
        }
        emit msg->State(false, text(Text::kUninstallFailed));
        return -1;
    };
    int r = -1;
    if (!runModal(job, {text(Text::kUninstallBusy), timing().stopBusyLimitMs, true, false, {}, "uninstall"}, &r))
        return;
    if (r < 0) {
        showPairButtons(true);
    } else {
        showPairButtons(false);
        ui->virtualComLineEdit->clear();
    }
}

void MainWindow::ChangeVirtualPort()
{
    if (m_pair->isInUse()) {
        SetStatus(false, text(Text::kChangeInUse));
        return;
    }
    VirtualPortEditor editor(this);
    const std::string current = ui->virtualComLineEdit->text().toStdString();
    VirtualCom* pair = m_pair;
    auto used = std::make_shared<std::unordered_set<std::string>>();
    int r = -1;
    const bool collected = runModal(
        [pair, used](UiMsg* msg) -> int {
            emit msg->State(true, text(Text::kInitialising));
            *used = pair->busyPortNames();
            return 0;
        },
        {text(Text::kInitialising), timing().stopBusyLimitMs, true, false, {}, "busy port names"}, &r);
    if (!collected)
        return;
    SetStatus(true, text(Text::kInitialised));
    editor.setPorts(*used, current);
    if (editor.exec() != QDialog::Accepted)
        return;
    const std::string chosen = editor.port().toUtf8().toStdString();
    if (chosen == current) {
        SetStatus(true, text(Text::kUnchanged));
        return;
    }
    auto readBack = std::make_shared<std::string>();
    const bool renamed = runModal(
        [pair, chosen, readBack](UiMsg* msg) -> int {
            emit msg->State(true, text(Text::kChanging));
            const int restart = pair->changeUserPort(chosen);
            *readBack = pair->userPort();
            // The tool may refuse the name without asking for a restart: only
            // the name read back proves the rename.
            if (restart == 1 || *readBack != chosen) {
                emit msg->State(false, text(Text::kChangeRestart));
                return -1;
            }
            emit msg->State(true, text(Text::kChangeDone));
            return 0;
        },
        {text(Text::kChangeBusy), timing().stopBusyLimitMs, true, false, {}, "port rename"}, &r);
    if (!renamed)
        return;
    ui->virtualComLineEdit->setText(QString::fromStdString(*readBack));
    showPairButtons(!readBack->empty());
}

bool MainWindow::collectChannelParams(std::string* address, std::string* panelPort, std::string* ownPort)
{
    const std::optional<std::string> own = m_pair->findOwnPort();
    *ownPort = own.value_or(std::string());
    const QString ip = ui->serverIPLineEdit->text();
    *address = ip.toUtf8().toStdString();
    *panelPort = panelPortName(ui->hmiPortcomboBox->currentIndex());
    // A setup program that did not answer says nothing of the pair: the local
    // side cannot start, which is no missing pair.
    if (!own) {
        SetStatus(false, text(Text::kLocalFailed));
        return false;
    }
    if (ownPort->empty()) {
        SetStatus(false, text(Text::kNoPair));
        ui->installBtn->setFocus();
        return false;
    }
    // Only a whole address of four parts 0-255 reaches the panel: the
    // framework keeps each part in one byte, so 300 would name another host.
    if (*address == "0.0.0.0" || !IPAddressCtrl::isCompleteIp(ip)) {
        SetStatus(false, text(Text::kNoAddress));
        ui->serverIPLineEdit->setFocus();
        return false;
    }
    return true;
}

bool MainWindow::verifyProjectPassword(Work& work, TransparentServerRpc* rpc, UiMsg* msg)
{
    const int has = rpc->hasProjectPassword();
    if (has == -1) {
        emit msg->State(false, text(Text::kNetworkFailed));
        return false;
    }
    if (has == 0)
        return true;
    emit msg->State(true, text(Text::kCheckingPassword));

    // The first answer is kept on the GUI thread, where it is given, before
    // it wakes this thread's wait; shared, so a later emission (the window's
    // end) writes nothing, also after this frame is gone.
    struct Answer {
        std::atomic<bool> given{false};
        bool ok = false;
        QString text;
    };
    auto answer = std::make_shared<Answer>();
    answer->text = text(Text::kLoginCancelled);
    platform::NestedWait wait;
    QMetaObject::Connection answered;
    bool asked = false;
    {
        std::lock_guard<std::mutex> lock(work.windowLock);
        if (work.window && !work.abort) {
            answered = connect(work.window, &MainWindow::GetPasswdEndSignal,
                               [answer, waker = wait.waker()](bool ok, QString password) {
                                   if (answer->given.exchange(true))
                                       return;
                                   answer->ok = ok;
                                   answer->text = password;
                                   waker.wake();
                               });
            work.passwordPending = true;
            emit work.window->GetPasswdStartSignal();
            asked = true;
        }
    }
    if (asked)
        wait.exec();
    work.passwordPending = false;
    disconnect(answered); // nothing left to undo when the window has gone
    if (work.abort) {
        emit msg->State(false, text(Text::kLoginCancelled));
        return false;
    }

    QString message;
    if (answer->ok) {
        const int checked = rpc->checkProjectPassword(answer->text.toUtf8().toStdString());
        if (checked == 0)
            return true;
        message = text(checked == -2 ? Text::kPasswordRefused : Text::kNetworkFailed);
    } else {
        message = answer->text;
    }
    emit msg->State(false, message);
    return false;
}

void MainWindow::GetPasswd()
{
    if (m_work->abort) {
        emit GetPasswdEndSignal(false, text(Text::kLoginCancelled));
        return;
    }
    HmiLoginDlg dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        emit GetPasswdEndSignal(true, dialog.password());
    else
        emit GetPasswdEndSignal(false, text(Text::kLoginCancelled));
}

void MainWindow::startWatchdog()
{
    if (readyTimerId == -1)
        readyTimerId = startTimer(timing().watchdogPeriodMs, Qt::CoarseTimer);
    m_work->readyCountdown = timing().watchdogCount;
}

void MainWindow::stopWatchdog()
{
    if (readyTimerId != -1) {
        killTimer(readyTimerId);
        readyTimerId = -1;
        m_work->readyCountdown = 0;
    }
}

void MainWindow::OpenVirtualChannel()
{
    const int tcpPort = drawTcpPort();
    m_lastTcpPort = tcpPort;
    m_work->relay.stop();
    stopWatchdog();
    m_running = false;

    std::string address;
    std::string panelPort;
    std::string ownPort;
    if (!collectChannelParams(&address, &panelPort, &ownPort))
        return;

    auto job = [work = m_work, address, panelPort, ownPort, tcpPort](UiMsg* msg) -> int {
        work->serverRpc.reset(); // an old pass-through ends with "Terminate"
        std::unique_ptr<TransparentServerRpc> rpc = std::make_unique<TransparentServerRpc>(address);
        emit msg->State(true, text(Text::kStarting));
        if (!verifyProjectPassword(*work, rpc.get(), msg))
            return -1;
        const int set = rpc->SetTransparentParam(TransparentParam{tcpPort, panelPort});
        if (set != 0) {
            emit msg->State(false, text(set == -2 ? Text::kStartRefused : Text::kNetworkFailed));
            return -1;
        }
        if (work->abort)
            return -1; // the window's end stopped the local side already
        work->relay.start(ownPort, address, tcpPort);
        emit msg->State(true, text(Text::kStartingLocal));

        int tries = timing().readyTries;
        while (!work->relay.isConnected()) {
            const bool slept = work->pause(timing().readyTryPauseMs);
            if (--tries <= 0 || !slept) {
                emit msg->State(false, text(Text::kLocalFailed));
                work->relay.stop();
                return -1;
            }
        }
        while (!work->abort) {
            const int ready = rpc->IsReady();
            if (ready == 0) {
                work->serverRpc = std::move(rpc);
                emit msg->State(true, text(Text::kStarted));
                return 0;
            }
            if (ready == -1)
                break;
            const bool slept = work->pause(timing().readyTryPauseMs);
            if (--tries <= 0 || !slept)
                break;
        }
        emit msg->State(false, text(Text::kRemoteFailed));
        work->relay.stop();
        return -1;
    };

    int r = -1;
    WaitOptions options{text(Text::kStarting), timing().startBusyLimitMs, true, true, [this] { LockUi(); }, "start"};
    if (!runModal(job, options, &r))
        return;
    if (r != 0) {
        UnlockUi();
        return;
    }
    m_running = true;
    startWatchdog();
}

void MainWindow::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != readyTimerId) {
        QMainWindow::timerEvent(event);
        return;
    }
    if (!m_running) {
        stopWatchdog();
        return;
    }
    // One check at a time: a tick during a slow check waits for the next one.
    if (m_checkRunning)
        return;
    qDebug().noquote() << "timer in .... " << timeStamp() << m_work->readyCountdown.load();
    auto lost = std::make_shared<std::atomic<bool>>(false);
    auto job = [work = m_work, lost](UiMsg* msg) -> int {
        const int ready = work->serverRpc ? work->serverRpc->IsReady() : -1;
        qDebug("err %d", ready);
        if (ready == 0) {
            work->readyCountdown = timing().watchdogCount;
            return 0;
        }
        if (--work->readyCountdown > 0)
            return 0;
        work->serverRpc.reset();
        emit msg->State(false, text(Text::kLost));
        *lost = true;
        return -1;
    };
    m_checkRunning = true;
    int r = 0;
    const bool completed = runModal(job, {QString(), 0, false, false, {}, "watchdog check"}, &r);
    m_checkRunning = false;
    if (!completed)
        return;
    if (*lost)
        trayIcon->showMessage(text(Text::kWarning), text(Text::kLost), QSystemTrayIcon::Information, kTrayMessageMs);
    if (m_work->readyCountdown <= 0 && m_running) {
        m_running = false;
        m_work->relay.stop();
        stopWatchdog();
        UnlockUi();
    }
    qDebug().noquote() << "timer out .... " << timeStamp() << m_work->readyCountdown.load();
}

void MainWindow::CloseVirtualChannel()
{
    stopWatchdog();
    m_work->relay.stop();
    m_running = false;
    int r = 0;
    const bool stopped = runModal(
        [work = m_work](UiMsg* msg) -> int {
            emit msg->State(true, text(Text::kStopping));
            work->serverRpc.reset(); // sends "Terminate"
            emit msg->State(true, text(Text::kStopped));
            return 0;
        },
        {text(Text::kStopping), timing().stopBusyLimitMs, true, false, {}, "stop"}, &r);
    if (!stopped)
        return;
    UnlockUi();
    setCursor(Qt::ArrowCursor);

    ProjectStartDlg prompt(nullptr);
    if (prompt.exec() != QDialog::Accepted)
        return;
    const std::string address = ui->serverIPLineEdit->text().toUtf8().toStdString();
    const bool started = runModal(
        [address](UiMsg* msg) -> int {
            emit msg->State(true, text(Text::kProjectStarting));
            bool ok = false;
            try {
                OmberRpcObject project(address);
                ok = project.projectStart();
            } catch (...) {
                platform::reportEscapedException("project start");
                ok = false;
            }
            emit msg->State(ok, text(ok ? Text::kProjectStarted : Text::kProjectFailed));
            return ok ? 0 : -1;
        },
        {text(Text::kProjectStarting), timing().stopBusyLimitMs, true, false, {}, "project start"}, &r);
    if (!started)
        return;
    UnlockUi();
    setCursor(Qt::ArrowCursor);
}

void MainWindow::mousePressEvent(QMouseEvent* event)
{
    m_drag.press(this, ui->titleWidget, event);
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    QPoint delta;
    if (m_drag.move(this, event, &delta))
        emit MoveWindowSignal(delta);
}

void MainWindow::mouseReleaseEvent(QMouseEvent*)
{
    m_drag.release();
}
