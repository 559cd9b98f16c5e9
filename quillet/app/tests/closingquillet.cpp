// Test helper: the program Quillet (its entry, its window, its event loop and
// its end) against the panel at the first argument, driving the virtual pair
// of the setup tool in the folder of the second. Once the window shows, it
// starts a pass-through; a line on standard input then closes the window as
// its close button does, after "closing" on standard output.

#include "quillet/app/mainwindow.h"
#include "quillet/app/quilletmain.h"
#include "quillet/virtualcom/virtualcom.h"
#include "testing/main/qtleaks.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

extern "C" const char* __lsan_default_suppressions()
{
    return TestLeaks::qtLibraries();
}

namespace {

MainWindow* shownWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<MainWindow*>(widget); window && window->isVisible())
            return window;
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    QApplication app(argc, argv);
    VirtualCom pair(QString::fromLocal8Bit(argv[2]) + QLatin1Char('/'));

    bool started = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        MainWindow* window = shownWindow();
        if (started || !window)
            return;
        started = true;
        poll.stop();
        // The start waits in a loop of its own, outside this tick.
        QTimer::singleShot(0, window->form()->startTransferBtn, &QPushButton::click);
    });
    poll.start(20);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        input.setEnabled(false);
        char line[64];
        static_cast<void>(::read(STDIN_FILENO, line, sizeof line));
        std::printf("closing\n");
        std::fflush(stdout);
        if (MainWindow* window = shownWindow())
            window->form()->closeBtn->click();
    });

    char* args[] = {argv[0], argv[1], nullptr};
    return runQuillet(app, 2, args, &pair);
}
