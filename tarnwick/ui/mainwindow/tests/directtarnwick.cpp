// Test helper: the program Tarnwick (its start, its window, its event loop
// and its end) connected directly to the panel at the first argument, as the
// login page's address field does, once the window shows. Prints "bound"
// when the connection stands; then runs until the program ends (a SIGTERM or
// SIGINT ends it as a confirmed close of the window would).

#include "tarnwick/core/panelrpc/localdeviceobject.h"
#include "tarnwick/ui/mainwindow/mainframe.h"
#include "tarnwick/ui/mainwindow/mainwindowconstants.h"
#include "tarnwick/ui/mainwindow/tarnwickstart.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

// As in the test main: what Qt's platform plugins and their libraries keep
// until the process ends is not this program's leak.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt5Gui.so\n"
           "leak:libQt5Widgets.so\n"
           "leak:libqoffscreen.so\n"
           "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n"
           "leak:libglib-2.0.so\n";
}

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    QApplication app(argc, argv);
    const QString panel = QString::fromLocal8Bit(argv[1]);
    TarnwickStart start;
    if (start.start() != 0)
        return 3;
    QTimer::singleShot(0, &app, [panel] {
        MainFrame* frame = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if ((frame = qobject_cast<MainFrame*>(widget)) != nullptr)
                break;
        if (frame == nullptr) {
            QCoreApplication::exit(4);
            return;
        }
        QObject::connect(frame->deviceObject(), &LocalDeviceObject::signalBindFinished, [](bool ok, int) {
            std::printf(ok ? "bound\n" : "not bound\n");
            std::fflush(stdout);
        });
        frame->onLoginAction(panel, QString(), Tarnwick::MainWindow::LocalMode);
    });
    return start.exec();
}
