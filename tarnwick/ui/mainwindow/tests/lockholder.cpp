// Test helper: runs the program's start sequence, starts a long-lived
// detached child ("sleep 60"), prints "ready <child pid>" and waits to be
// killed, so that a test can check that the child does not keep the
// instance lock of its killed parent.

#include "tarnwick/ui/mainwindow/tarnwickstart.h"

#include <QApplication>
#include <QProcess>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TarnwickStart start;
    if (start.start() != 0)
        return 3;
    qint64 pid = 0;
    if (!QProcess::startDetached(QStringLiteral("sleep"), {QStringLiteral("60")}, QString(), &pid))
        return 4;
    std::printf("ready %lld\n", static_cast<long long>(pid));
    std::fflush(stdout);
    return QApplication::exec();
}
