// The main dialog on the screen that dialogscreen_test chooses: the offscreen
// platform at the DPI that QT_FONT_DPI sets, or an Xvfb display that openbox
// manages at the server's DPI. BRELLFIN_SCREEN_DPI names that DPI,
// BRELLFIN_SHOT_DIR the folder for pictures of the window. Both languages
// each; on X also connected to a panel.

#include "dialogfixture.h"
#include "dialoglayoutchecks.h"

#include "brellfin/dialog/brellfinresources.h"
#include "brellfin/dialog/dlgpassword.h"
#include "brellfin/ui/tests/namespacerun.h"
#include "platform/windowfit/windowfit.h"
#include "testing/fakefileservice/fakefileservice.h"
#include "testing/xsession/drawntitle.h"
#include "testing/xsession/xdisplay.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QWindow>

#include <cstdio>
#include <memory>

namespace {

// 841 x 331 dialog units at base units of 6 x 13 px: the template's own
// size at 96 DPI.
const QSize kSizeAt96(1261, 537);
// What the frame must fit at 96 DPI; in proportion at other DPIs.
const QSize kFrameLimitAt96(1280, 720);

int screenDpi()
{
    return qEnvironmentVariableIntValue("BRELLFIN_SCREEN_DPI");
}

// A screen too small for the window even at the template's own metrics.
bool screenTooSmall()
{
    return qEnvironmentVariableIntValue("BRELLFIN_SCREEN_TOO_SMALL") == 1;
}

bool onX11()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

QString languageName(int language)
{
    return language == 2052 ? QStringLiteral("zh") : QStringLiteral("en");
}

// A window property as xprop prints it.
QString xprop(WId window, const char* property)
{
    QProcess process;
    process.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window), QLatin1String(property)});
    process.waitForFinished(10000);
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// The window and the frame the window manager put around it, as the X
// server has them; nothing while it is not framed.
std::optional<TestX::FramedWindow> serverFrame(WId window)
{
    return TestX::XDisplay::current().framedWindow(window);
}

class DialogOnScreen : public DialogFixture, public ::testing::WithParamInterface<int> {
protected:
    void showDialog(const QStringList& arguments = {})
    {
        setLanguage(GetParam());
        start(arguments);
        // As DoModal shows it.
        dialog().setWindowModality(Qt::ApplicationModal);
        dialog().show();
        ASSERT_TRUE(waitUntil([&] { return dialog().windowHandle() && dialog().windowHandle()->isExposed(); }, 60000));
        if (onX11()) {
            // The window manager has put its frame around the window, and the
            // window has been placed with it.
            ASSERT_TRUE(waitUntil([&] { return !Platform::WindowFit::awaitsFrame(&dialog()); },
                                  Platform::WindowFit::kFrameWatchMs + 60000));
            ASSERT_TRUE(TestX::XDisplay::current().settledWindow(dialog().winId(), 60000));
        }
    }
    // The window with its frame: the window manager's, or none.
    QRect frame()
    {
        return onX11() ? serverFrame(dialog().winId()).value_or(TestX::FramedWindow()).outer()
                       : dialog().frameGeometry();
    }
    // The window manager's frame lies within the work area, centred.
    void expectWithinTheWorkArea()
    {
        const QRect work = TestX::XDisplay::current().workArea();
        ASSERT_FALSE(work.isEmpty());
        const auto framed = serverFrame(dialog().winId());
        ASSERT_TRUE(framed);
        EXPECT_FALSE(framed->frame.isNull()) << "no frame";
        EXPECT_TRUE(TestX::centredWithin(work, *framed));
    }
    void saveScreen(const QString& name)
    {
        const QString folder = qEnvironmentVariable("BRELLFIN_SHOT_DIR");
        if (folder.isEmpty())
            return;
        QDir().mkpath(folder);
        dialog().repaint();
        QApplication::sync();
        const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
        const QString file = QStringLiteral("%1/brellfin_%2_%3dpi_%4x%5%6.png")
                                 .arg(folder, languageName(GetParam()))
                                 .arg(screenDpi())
                                 .arg(screen.width())
                                 .arg(screen.height())
                                 .arg(name);
        EXPECT_TRUE(screen.save(file)) << file.toStdString();
    }
};

TEST_P(DialogOnScreen, TakesTheTemplatesMetricsWhereItFitsWithEveryControlAndTextWhole)
{
    showDialog();
    const int dpi = screenDpi();
    ASSERT_EQ(dialog().logicalDpiY(), dpi) << "the screen is not at the DPI asked for";
    // In proportion, but for the base units' being whole pixels: 13 px of
    // base height is half a pixel off at most, 4 %.
    const double width = kSizeAt96.width() * dpi / 96.0;
    const double height = kSizeAt96.height() * dpi / 96.0;
    const QRect work = onX11() ? TestX::XDisplay::current().workArea() : QRect();
    if (screenTooSmall()) {
        // The template's own metrics, the window resizable and no larger
        // than the work area.
        EXPECT_EQ(dialog().templateDpi(), std::min(dpi, 96));
        EXPECT_LT(dialog().minimumSize().width(), dialog().maximumSize().width());
        EXPECT_LE(dialog().width(), work.width());
        EXPECT_LE(dialog().height(), work.height());
    } else if (dpi == 96) {
        EXPECT_EQ(dialog().size(), kSizeAt96);
        EXPECT_EQ(dialog().templateDpi(), 96);
    } else if (!onX11() || (width * 1.04 + 20 < work.width() && height * 1.04 + 60 < work.height())) {
        // Room enough on the screen: the screen's own metrics.
        EXPECT_EQ(dialog().templateDpi(), dpi);
        EXPECT_NEAR(dialog().width(), width, width * 0.04);
        EXPECT_NEAR(dialog().height(), height, height * 0.04);
    } else {
        // Too large for the screen at its metrics: smaller ones, never
        // smaller than the template's own, and the window still fixed.
        EXPECT_LT(dialog().templateDpi(), dpi);
        EXPECT_GE(dialog().templateDpi(), 96);
        EXPECT_GE(dialog().width(), kSizeAt96.width());
        EXPECT_GE(dialog().height(), kSizeAt96.height());
        EXPECT_EQ(dialog().minimumSize(), dialog().maximumSize());
    }
    if (onX11())
        expectWithinTheWorkArea();
    EXPECT_LE(frame().width(), kFrameLimitAt96.width() * dpi / 96);
    EXPECT_LE(frame().height(), kFrameLimitAt96.height() * dpi / 96);

    DialogChecks::expectEveryControlInside(dialog());
    DialogChecks::expectEveryTextFits(dialog());
    DialogChecks::expectQueueWordsFit(dialog());

    // The password dialog of the connect button, from its own template.
    bool checked = false;
    Mfc::setModalAnswerer([&](CDialog& password) {
        password.show();
        if (!waitUntil([&] { return password.isVisible(); }, 60000))
            return;
        DialogChecks::expectEveryControlInside(password);
        DialogChecks::expectEveryTextFits(password);
        // Drawn at the metrics of the window it belongs to.
        EXPECT_EQ(password.templateDpi(), dialog().templateDpi());
        if (onX11()) {
            // Over the main window, within the work area.
            ASSERT_TRUE(waitUntil([&] { return !Platform::WindowFit::awaitsFrame(&password); },
                                  Platform::WindowFit::kFrameWatchMs + 60000));
            const auto framed = TestX::XDisplay::current().settledWindow(password.winId(), 60000);
            ASSERT_TRUE(framed);
            EXPECT_TRUE(TestX::centredWithin(frame(), *framed));
            saveScreen(QStringLiteral("_password"));
            // openbox draws the title whole: as wide as in a window as wide
            // as the screen (a shortened "Input t…sword" is narrower).
            const int drawn = TestX::drawnTitleWidth(password);
            const int whole = TestX::drawnTitleWidthWhole(password.windowTitle());
            std::printf("password dialog at %d DPI: %d px wide, its title drawn %d px wide, whole %d px\n", screenDpi(),
                        password.width(), drawn, whole);
            std::fflush(stdout);
            EXPECT_GT(whole, 0);
            EXPECT_NEAR(drawn, whole, 2) << password.windowTitle().toStdString() << " in a window " << password.width()
                                         << " px wide";
        }
        checked = true;
    });
    CDlgPassword password(&dialog());
    password.DoModal();
    EXPECT_TRUE(checked);
}

TEST_P(DialogOnScreen, OpensCentredWithinTheWorkAreaResizableOnlyWhereItDoesNotFit)
{
    if (!onX11())
        GTEST_SKIP() << "needs an X display with a window manager";
    showDialog();
    const WId window = dialog().winId();
    // The window manager says what the window may do once it manages it.
    ASSERT_TRUE(waitUntil(
        [&] { return xprop(window, "_NET_WM_ALLOWED_ACTIONS").contains(QLatin1String("_NET_WM_ACTION_CLOSE")); },
        60000));
    const QString actions = xprop(window, "_NET_WM_ALLOWED_ACTIONS");
    EXPECT_TRUE(actions.contains(QLatin1String("_NET_WM_ACTION_MINIMIZE"))) << actions.toStdString();
    for (const char* sizing : {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT", "_NET_WM_ACTION_RESIZE"})
        EXPECT_EQ(actions.contains(QLatin1String(sizing)), screenTooSmall()) << actions.toStdString();
    EXPECT_EQ(bool(dialog().windowFlags() & Qt::WindowMaximizeButtonHint), screenTooSmall());
    if (!screenTooSmall()) {
        EXPECT_EQ(dialog().minimumSize(), dialog().size());
        EXPECT_EQ(dialog().maximumSize(), dialog().size());
    }
    // Where the window opens: all of it, title bar and borders, on the screen.
    expectWithinTheWorkArea();
    saveScreen(QString());

    if (!screenTooSmall()) {
        // Asked to maximise, the window stays as it is. The window manager
        // handles requests in order: once it has put the window above the
        // others, it has answered the request to maximise too.
        const QSize size = serverFrame(window)->client.size();
        dialog().showMaximized();
        dialog().windowHandle()->setFlags(dialog().windowHandle()->flags() | Qt::WindowStaysOnTopHint);
        ASSERT_TRUE(waitUntil(
            [&] { return xprop(window, "_NET_WM_STATE").contains(QLatin1String("_NET_WM_STATE_ABOVE")); }, 60000));
        EXPECT_FALSE(xprop(window, "_NET_WM_STATE").contains(QLatin1String("MAXIMIZED")));
        EXPECT_EQ(serverFrame(window)->client.size(), size);
    }

    // A picture of the log after 30 lines.
    TransInfoTab& tab = *dialog().transInfoTab();
    for (int i = 1; i <= 30; ++i)
        tab.appendLog(QStringLiteral("line %1").arg(i));
    tab.tabBar()->setCurrentIndex(1);
    ASSERT_TRUE(waitUntil([&] { return tab.logPage().edit().isVisible(); }, 60000));
    saveScreen(QStringLiteral("_log"));
}

TEST_P(DialogOnScreen, ConnectedToAPanelOpensCentredWithinTheWorkAreaWithEveryControlAndTextWhole)
{
    if (!onX11())
        GTEST_SKIP() << "needs an X display with a window manager";
    // The panel's fixed port 127 on a loopback of the test's own.
    ASSERT_TRUE(BrellfinTest::insideNamespace()) << "run only inside dialogscreen_test's network namespace";
    const auto panel = std::make_unique<Fake::FakeFileService>("127.0.0.1", 127);
    showDialog({QStringLiteral("127.0.0.1")});
    ASSERT_TRUE(dialog().connectedState());
    expectWithinTheWorkArea();
    DialogChecks::expectEveryControlInside(dialog());
    DialogChecks::expectEveryTextFits(dialog());
    saveScreen(QStringLiteral("_connected"));
}

INSTANTIATE_TEST_SUITE_P(Languages, DialogOnScreen, ::testing::Values(1033, 2052),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 2052 ? std::string("Chinese") : std::string("English");
                         });

} // namespace
