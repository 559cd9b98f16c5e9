// Test helper: the program Tarnwick (its start, its window, its event loop
// and its end) dealing with the panel at PANEL once the window shows:
//
//   ui_tarnwick_direct PANEL               connected directly, as the login
//                                          page's address field does; prints
//                                          "bound" when the connection stands
//   ui_tarnwick_direct forward PANEL LAN   a local forwarding to the panel,
//                                          whose LAN address is LAN; prints
//                                          "forwarding" when it stands
//   ui_tarnwick_direct probe PANEL         the local page probes the panel
//                                          again, as after a forwarding notice
//
// The forwarding's route commands are recorded and printed ("route: ..."),
// never run. A line "close" on the input closes the window as the user does,
// with the close question answered "确认"; "hidden" is printed when the window
// hides. A SIGTERM or SIGINT ends the program as a confirmed close would.

#include "platform/process/recordingcommandrunner.h"
#include "tarnwick/core/forwarding/localnetforwardmanager.h"
#include "tarnwick/core/panelrpc/localdeviceobject.h"
#include "tarnwick/ui/localdebugview.h"
#include "tarnwick/ui/localdevicemodel.h"
#include "tarnwick/ui/mainwindow/mainframe.h"
#include "tarnwick/ui/mainwindow/mainwindowconstants.h"
#include "tarnwick/ui/mainwindow/tarnwickstart.h"
#include "tarnwick/widgets/tests/dialogdriver.h"
#include "testing/main/qtleaks.h"

#include <QApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <string>

#include <unistd.h>

extern "C" const char* __lsan_default_suppressions()
{
    return TestLeaks::qtLibraries();
}

namespace {

void say(const QString& line)
{
    std::printf("%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

// Prints "hidden" once the window hides.
class HideWatch : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Hide && !m_seen) {
            m_seen = true;
            say(QStringLiteral("hidden"));
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

// Records the route commands and prints each; they fail, as without privilege.
class PrintingRunner : public RecordingCommandRunner {
public:
    PrintingRunner() { setDefaultResult(exitResult(2, "not run by the test")); }
    CommandResult run(const QString& program, const QStringList& arguments, int timeoutMs) override
    {
        say(QStringLiteral("route: ") + arguments.join(QLatin1Char(' ')));
        return RecordingCommandRunner::run(program, arguments, timeoutMs);
    }
};

MainFrame* findWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* frame = qobject_cast<MainFrame*>(widget))
            return frame;
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc == 2 ? "bind" : argc > 1 ? argv[1] : "";
    const bool known = (mode == "bind" && argc == 2) || (mode == "forward" && argc == 4)
                       || (mode == "probe" && argc == 3);
    if (!known)
        return 2;
    QApplication app(argc, argv);
    const QString panel = QString::fromLocal8Bit(argv[mode == "bind" ? 1 : 2]);
    const QString lan = argc == 4 ? QString::fromLocal8Bit(argv[3]) : QString();
    TarnwickStart start;
    if (start.start() != 0)
        return 3;

    PrintingRunner routes;
    HideWatch hideWatch;
    DialogDriver driver;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[64] = {};
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer - 1);
        if (n <= 0) {
            input.setEnabled(false);
            return;
        }
        MainFrame* frame = findWindow();
        if (frame != nullptr && std::string(buffer, size_t(n)).find("close") != std::string::npos) {
            driver.answerBox(DialogDriver::kButton1);
            QTimer::singleShot(0, frame, [frame] { frame->close(); });
        }
    });

    QTimer::singleShot(0, &app, [&] {
        MainFrame* frame = findWindow();
        if (frame == nullptr) {
            QCoreApplication::exit(4);
            return;
        }
        frame->installEventFilter(&hideWatch);
        LocalNetForwardManager* manager = frame->localPage()->netForwardManager();
        manager->setCommandRunner(&routes);
        if (mode == "bind") {
            QObject::connect(frame->deviceObject(), &LocalDeviceObject::signalBindFinished,
                             [](bool ok, int) { say(ok ? QStringLiteral("bound") : QStringLiteral("not bound")); });
            frame->onLoginAction(panel, QString(), Tarnwick::MainWindow::LocalMode);
        } else if (mode == "forward") {
            QObject::connect(manager, &LocalNetForwardManager::stateChanged, [](QString state) {
                if (state == QLatin1String(LocalNetForwardManager::kStateStart))
                    say(QStringLiteral("forwarding"));
            });
            manager->startNetForward(panel, lan);
        } else {
            frame->localPage()->deviceModel()->setDeviceState(panel, LocalDeviceModel::kStateProbeAgain);
        }
    });
    return start.exec();
}
