// Quillet's window on the X display that quilletscreen_test starts (Xvfb
// with openbox): the program itself, started with a panel's address, opens
// centred within the work area, alone and beside another program's window
// that fills the screen (as Tarnwick's does when it starts Quillet), where
// the window manager would put it in the top-left corner. TW_SHOT_DIR names
// the folder for pictures of the screen.

#include "testing/main/tempfolder.h"
#include "testing/xsession/scopedprogram.h"
#include "testing/xsession/xdisplay.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

QProcessEnvironment programEnvironment(const TestFolder::TempFolder& runtime)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // A lock of its own, apart from the other tests' programs.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.path()));
    return environment;
}

void expectQuilletCentred(const char* picture)
{
    const TestFolder::TempFolder runtime("twqscreen");
    const TestX::ScopedProgram quillet(QStringLiteral(QUILLET_PROGRAM), {QStringLiteral("127.90.0.7")},
                                       programEnvironment(runtime));
    ASSERT_TRUE(quillet.running());
    const TestX::XDisplay display = TestX::XDisplay::current();
    const auto framed = display.settledWindowOf(quillet.pid());
    ASSERT_TRUE(framed) << "no window, or it never settled";
    EXPECT_TRUE(TestX::centredWithin(display.workArea(), *framed));
    const QString folder = qEnvironmentVariable("TW_SHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QString file = QStringLiteral("%1/%2_%3dpi_%4x%5.png")
                                 .arg(folder, QLatin1String(picture))
                                 .arg(qRound(screen->logicalDotsPerInch()))
                                 .arg(screen->size().width())
                                 .arg(screen->size().height());
        EXPECT_TRUE(display.grabScreen(file)) << file.toStdString();
    }
}

TEST(QuilletOnScreen, OpensCentredWithinTheWorkArea)
{
    expectQuilletCentred("quillet");
}

TEST(QuilletOnScreen, OpensCentredBesideAWindowThatFillsTheScreen)
{
    const TestX::XDisplay display = TestX::XDisplay::current();
    const QRect work = display.workArea();
    ASSERT_FALSE(work.isEmpty());
    QWidget other(nullptr, Qt::Window | Qt::FramelessWindowHint);
    other.setWindowTitle(QStringLiteral("another program"));
    other.setGeometry(work);
    other.show();
    ASSERT_TRUE(display.settledWindow(other.winId()));
    expectQuilletCentred("quillet_beside_another");
}

} // namespace
