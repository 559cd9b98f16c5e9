#include "tarnwick/ui/mainwindow/tarnwickstart.h"

#include "platform/termination/terminationnotifier.h"
#include "tarnwick/cloud/cloudconstants.h"
#include "tarnwick/cloud/vpnclient.h"
#include "tarnwick/cloud/vpnmanager.h"
#include "tarnwick/core/constants.h"
#include "tarnwick/core/forwarding/localnetforwardmanager.h"
#include "tarnwick/core/loghandler.h"
#include "tarnwick/core/messages/msgdispatcher.h"
#include "tarnwick/core/programpath.h"
#include "tarnwick/ui/localdebugview.h"
#include "tarnwick/ui/mainwindow/mainframe.h"
#include "tarnwick/ui/mainwindow/mainwindowconstants.h"
#include "tarnwick/ui/settings/helpview.h"
#include "tarnwick/vnc/vncimagequality.h"
#include "tarnwick/widgets/appfont.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>

namespace C = Tarnwick::MainWindow;

namespace {

// The start whose window runs, for the exit hook.
std::atomic<TarnwickStart*> s_running{nullptr};
// The message handler that the watch hands every message on to.
std::atomic<QtMessageHandler> s_nextHandler{nullptr};

// Qt's X11 platform (and its Wayland one) warns so and ends the process with
// exit(1) at once, from wherever in the event loop it found its display gone.
bool announcesExit(QtMsgType type, const QString& message)
{
    return type == QtWarningMsg
           && (message.startsWith(QLatin1String("The X11 connection broke"))
               || message.startsWith(QLatin1String("The Wayland connection broke")));
}

constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

bool makeOwnerFolder(const QString& path)
{
    if (!QDir().mkpath(path))
        return false;
    return QFile::setPermissions(path, kOwnerOnly);
}

} // namespace

TarnwickStart::TarnwickStart() = default;

TarnwickStart::~TarnwickStart()
{
    TarnwickStart* self = this;
    s_running.compare_exchange_strong(self, nullptr);
    m_termination.reset();
    m_qtCatalogue.remove();
    // Restores the replaced handler and writes what the log still holds.
    if (m_handlerInstalled)
        LogHandler::uninstall();
    if (m_lock)
        m_lock->release();
}

QString TarnwickStart::dataFolder()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QLatin1Char('/') + C::dataFolderName();
}

bool TarnwickStart::enterDataFolder()
{
    const QString folder = dataFolder();
    if (!makeOwnerFolder(folder) || !makeOwnerFolder(folder + QStringLiteral("/data")))
        return false;
    return QDir::setCurrent(folder);
}

int TarnwickStart::refuse(const QString& text)
{
    QMessageBox::critical(nullptr, C::errorTitle(), text, QMessageBox::Ok, QMessageBox::NoButton);
    return -1;
}

void TarnwickStart::loadQtTranslations()
{
    // Qt's own file dialogs and standard buttons in the language of every
    // other text of the program.
    if (!m_qtCatalogue.install(QLocale(C::programLocale())))
        qWarning().noquote() << "Qt's translations for" << C::programLocale() << "not found";
}

void TarnwickStart::onTerminationRequested(int signalNumber)
{
    qDebug().noquote() << "end requested by signal" << signalNumber;
    if (m_window) {
        m_window->closeWithoutQuestion();
        return;
    }
    m_terminated = true;
    QCoreApplication::quit();
}

int TarnwickStart::start()
{
    qSetMessagePattern(C::messagePattern());
    // From here on SIGTERM and SIGINT wait for the event loop instead of
    // ending the process where it stands.
    if (!m_termination) {
        m_termination = std::make_unique<TerminationNotifier>();
        QObject::connect(m_termination.get(), &TerminationNotifier::terminationRequested,
                         [this](int signalNumber) { onTerminationRequested(signalNumber); });
    }
    if (!m_qtCatalogue.isInstalled())
        loadQtTranslations();

    // Every "data/..." name of the program is relative to the data folder;
    // the log file among them, so the folder comes before the log handler.
    const bool folderReady = enterDataFolder();
    if (folderReady && !m_handlerInstalled) {
        LogHandler::install();
        m_handlerInstalled = true;
    }

    m_lock = std::make_unique<Platform::InstanceLock>(Tarnwick::Constants::kMutexName.toLocal8Bit().toStdString(),
                                                      QFile::encodeName(dataFolder()).toStdString());
    const Platform::LockResult lock = folderReady ? m_lock->acquire() : Platform::LockResult::CannotOpen;
    if (lock == Platform::LockResult::CannotOpen) {
        qWarning().noquote() << "instance lock not available:" << QString::fromStdString(m_lock->path())
                             << m_lock->lastError();
        return refuse(C::startAsAdminText());
    }
    if (lock == Platform::LockResult::HeldElsewhere)
        return refuse(C::singleInstanceText());

    // The help text ships beside the program; the data folder gets a copy
    // once, so the help box has something to show.
    HelpView::provideHelpFile(ProgramPath::resolve(Tarnwick::Constants::kHelpFile), Tarnwick::Constants::kHelpFile);

    AppFont::apply();
    qRegisterMetaType<VncImageQuality>("VncImageQuality");
    return 0;
}

int TarnwickStart::exec()
{
    if (m_terminated)
        return 0;
    auto window = std::make_unique<MainFrame>();
    m_window = window.get();
    m_ending = Ending::NotYet;
    s_running = this;
    const QtMessageHandler previous = qInstallMessageHandler(&TarnwickStart::watchMessage);
    if (previous != &TarnwickStart::watchMessage)
        s_nextHandler = previous;
    window->show();
    const int code = QApplication::exec();
    endOrderly();
    window.reset();
    qInstallMessageHandler(s_nextHandler.load());
    s_running = nullptr;
    return code;
}

void TarnwickStart::watchMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (const QtMessageHandler next = s_nextHandler.load())
        next(type, context, message);
    // Registered now, the hook runs first in the exit() that follows, while
    // every object of the program (static ones included) still stands.
    if (announcesExit(type, message)) {
        static std::once_flag hooked;
        std::call_once(hooked, [] { std::atexit(&TarnwickStart::endAtExit); });
    }
}

void TarnwickStart::detachWindow()
{
    if (!m_window)
        return;
    QObject::disconnect(&VPNClient::instance(), nullptr, m_window, nullptr);
    QObject::disconnect(VPN_Android::VpnManager::instance(), nullptr, m_window, nullptr);
    m_window->listTimer()->stop();
    m_window->stepTimer()->stop();
}

void TarnwickStart::endOrderly()
{
    m_ending = Ending::Running;
    qDebug().noquote() << "Tarnwick ends: cloud session, VPN, local forwarding, log";
    detachWindow();
    // What the end still waits for (the cloud service, a panel, the work
    // under way for a panel) it waits for together until one deadline, the
    // window's since its close.
    const QDeadlineTimer end = m_window ? m_window->endDeadline() : QDeadlineTimer(C::kEndLimitMs);
    const auto rest = [&end](int limitMs) {
        return int(std::min<qint64>(limitMs, std::max<qint64>(0, end.remainingTime())));
    };
    VPNClient::instance().endSession(rest(Tarnwick::Cloud::kQuitLogoutWaitMs));
    VPN_Android::VpnManager::instance()->shutdown();
    if (m_window)
        m_window->localPage()->netForwardManager()->endNetForward(end);
    // What the dispatcher still runs for a panel gets the rest (an idle
    // loop a moment to end); the application's own end then waits for it no
    // more.
    MsgDispatcher::shutdownAtQuit(std::max(C::kEndStepMs, rest(MsgDispatcher::kStopLimitMs)));
    m_ending = Ending::Done;
    qDebug().noquote() << "Tarnwick ended";
    LogHandler::flush();
}

void TarnwickStart::endQuickly()
{
    // Nothing reads the signal pipe any more: from here SIGTERM and SIGINT
    // end the process as they do by default.
    m_termination.reset();
    qWarning().noquote() << "Tarnwick ends at once, its event loop cannot go on: VPN, local forwarding, log";
    detachWindow();
    VPN_Android::VpnManager::instance()->shutdown();
    if (m_window)
        m_window->localPage()->netForwardManager()->dropRouteNow();
    // A message that waits for the user is answered with cancel, so that the
    // dispatcher's end (here or in its destructor) does not wait for ever.
    MsgDispatcher::shutdownAtQuit();
    m_ending = Ending::Done;
    qWarning().noquote() << "Tarnwick ended at once";
    LogHandler::flush();
}

void TarnwickStart::endAtExit()
{
    // Only while a window runs: a normal end has passed exec() and cleared it.
    TarnwickStart* self = s_running.exchange(nullptr);
    if (self == nullptr || self->m_ending == Ending::Done)
        return;
    self->endQuickly();
}
