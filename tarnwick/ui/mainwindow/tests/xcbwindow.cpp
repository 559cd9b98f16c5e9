// Test helper, run on an X11 display (Xvfb): shows the main window through
// xcb, writes PNGs of the login page and of the cloud page with rows into
// the folder given as the first argument, then drags the window by its title
// bar and checks that it followed. Prints "moved <dx> <dy>"; exit code 0
// when the window moved by the drag's distance.

#include "tarnwick/ui/mainwindow/mainframe.h"
#include "tarnwick/widgets/appfont.h"
#include "tarnwick/widgets/widgettitle.h"
#include "testing/main/qtleaks.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

extern "C" const char* __lsan_default_suppressions()
{
    return TestLeaks::qtLibraries();
}

namespace {

void settle(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

stBoxData box(const char* sn, int state, const char* alias, const char* ip, const char* iccid)
{
    stBoxData b;
    b.sn = QString::fromLatin1(sn);
    b.state = state;
    b.alias = QString::fromLatin1(alias);
    b.ip = QString::fromLatin1(ip);
    b.iccid = QString::fromLatin1(iccid);
    return b;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    QApplication app(argc, argv);
    if (argc < 2 || QGuiApplication::platformName() != QStringLiteral("xcb")) {
        std::fprintf(stderr, "needs an output folder and the xcb platform (have %s)\n",
                     qPrintable(QGuiApplication::platformName()));
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir::setCurrent(home.path());
    AppFont::apply();

    MainFrame frame;
    frame.move(40, 40);
    frame.show();
    if (!QTest::qWaitForWindowExposed(&frame, 10000))
        return 3;
    settle(300);
    frame.grab().save(out + QStringLiteral("/mainwindow_login.png"));

    frame.showPage(MainFrame::CloudPage);
    frame.onQueryBoxListSignal(true,
                               {box("30300001", 1, "\\u8f66\\u95f4\\u4e00\\u53f7", "192.168.1.11", "89860012345"),
                                box("30200002", 3, "press line", "192.168.1.12", "89860023456"),
                                box("AAAA3003", 2, "\\u4ed3\\u5e93", "192.168.1.13", "89860034567"),
                                box("AAAA6004", 0, "packing", "192.168.1.14", "89860045678")},
                               QString());
    settle(300);
    frame.grab().save(out + QStringLiteral("/mainwindow_devices.png"));

    // Drag by the title bar, as the mouse would.
    QWidget* title = frame.title();
    const QPoint before = frame.pos();
    const QPoint grip(title->width() / 3, title->height() / 2);
    // The X pointer itself moves (the window follows the pointer); the
    // button events are Qt's.
    const QPoint start = title->mapToGlobal(grip);
    QCursor::setPos(start);
    settle(100);
    QTest::mousePress(title, Qt::LeftButton, Qt::NoModifier, grip);
    settle(50);
    for (int step = 1; step <= 10; ++step) {
        const QPoint offset(6 * step, 4 * step);
        QCursor::setPos(start + offset);
        settle(20);
        QMouseEvent move(QEvent::MouseMove, grip + offset, start + offset, Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(title, &move);
        settle(20);
    }
    QTest::mouseRelease(title, Qt::LeftButton, Qt::NoModifier, grip + QPoint(60, 40));
    settle(300);
    const QPoint moved = frame.pos() - before;
    std::printf("moved %d %d\n", moved.x(), moved.y());
    return moved == QPoint(60, 40) ? 0 : 1;
}
