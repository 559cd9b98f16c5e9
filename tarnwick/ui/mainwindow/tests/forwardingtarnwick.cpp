// Test helper: the program Tarnwick (its start, its window, its event loop
// and its end) with a local forwarding to the panel at the first argument,
// whose LAN address is the second, started once the window shows. Prints
// "forwarding" when the forwarding stands; then runs until the program ends
// (a SIGTERM or SIGINT ends it as a confirmed close of the window would).

#include "tarnwick/core/forwarding/localnetforwardmanager.h"
#include "tarnwick/ui/localdebugview.h"
#include "tarnwick/ui/mainwindow/mainframe.h"
#include "tarnwick/ui/mainwindow/tarnwickstart.h"
#include "testing/main/qtleaks.h"

#include <QApplication>
#include <QDebug>
#include <QTimer>

#include <cstdio>

extern "C" const char* __lsan_default_suppressions()
{
    return TestLeaks::qtLibraries();
}

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    QApplication app(argc, argv);
    const QString panel = QString::fromLocal8Bit(argv[1]);
    const QString lan = QString::fromLocal8Bit(argv[2]);
    TarnwickStart start;
    if (start.start() != 0)
        return 3;
    QTimer::singleShot(0, &app, [panel, lan] {
        MainFrame* frame = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if ((frame = qobject_cast<MainFrame*>(widget)) != nullptr)
                break;
        if (frame == nullptr) {
            QCoreApplication::exit(4);
            return;
        }
        LocalNetForwardManager* manager = frame->localPage()->netForwardManager();
        // The page's notice box of the outcome stays open: the end comes
        // while the program waits inside it.
        QObject::connect(manager, &LocalNetForwardManager::stateChanged, [](QString state) {
            if (state != QLatin1String(LocalNetForwardManager::kStateStart))
                return;
            qDebug() << "forwarding stands";
            std::printf("forwarding\n");
            std::fflush(stdout);
        });
        manager->startNetForward(panel, lan);
    });
    return start.exec();
}
