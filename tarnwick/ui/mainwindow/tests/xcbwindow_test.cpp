// The main window on a real X11 display: Xvfb through xvfb-run, the window
// through Qt's xcb platform. Skipped where Xvfb is missing.

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

TEST(MainWindowXcb, DraggedByItsTitleBarAndDrawnIntoPngs)
{
    const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfbRun.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        GTEST_SKIP() << "xvfb-run or Xvfb is not installed";
    const QString out = QStringLiteral(SCREENSHOT_DIR);
    QDir().mkpath(out);
    QFile::remove(out + QStringLiteral("/mainwindow_login.png"));
    QFile::remove(out + QStringLiteral("/mainwindow_devices.png"));

    QProcess helper;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("DISPLAY"));
    // No OpenGL: the window paints in software, and no GL driver is loaded
    // (one that is unloaded at exit hides its allocations from the leak check).
    env.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
    helper.setProcessEnvironment(env);
    helper.start(xvfbRun, {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1600x1000x24"),
                           QStringLiteral(XCB_HELPER_PROGRAM), out});
    ASSERT_TRUE(helper.waitForStarted(10000));
    ASSERT_TRUE(helper.waitForFinished(120000));
    const QString output = QString::fromLocal8Bit(helper.readAllStandardOutput());
    const QString errors = QString::fromLocal8Bit(helper.readAllStandardError());
    EXPECT_EQ(helper.exitCode(), 0) << output.toStdString() << errors.right(3000).toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("moved 60 40"))) << output.toStdString();
    for (const char* name : {"/mainwindow_login.png", "/mainwindow_devices.png"}) {
        const QFileInfo png(out + QLatin1String(name));
        EXPECT_TRUE(png.exists()) << name;
        EXPECT_GT(png.size(), 5000) << name;
    }
}
