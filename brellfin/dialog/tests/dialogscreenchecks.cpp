// The main dialog on the screen that dialogscreen_test chooses: the offscreen
// platform, or an Xvfb display that openbox manages, at the DPI that
// QT_FONT_DPI sets. BRELLFIN_SCREEN_DPI names that DPI, BRELLFIN_SHOT_DIR the
// folder for pictures of the window. Both languages each.

#include "dialogfixture.h"
#include "dialoglayoutchecks.h"

#include "brellfin/dialog/brellfinresources.h"
#include "brellfin/dialog/dlgpassword.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QWindow>

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

// The window's place and size as the X server has them.
QRect serverGeometry(WId window)
{
    QProcess process;
    process.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window)});
    process.waitForFinished(10000);
    QRect geometry;
    for (const QString& line : QString::fromLocal8Bit(process.readAllStandardOutput()).split('\n')) {
        const QString field = line.trimmed();
        const int value = field.section(':', 1).trimmed().toInt();
        if (field.startsWith(QLatin1String("Absolute upper-left X:")))
            geometry.moveLeft(value);
        else if (field.startsWith(QLatin1String("Absolute upper-left Y:")))
            geometry.moveTop(value);
        else if (field.startsWith(QLatin1String("Width:")))
            geometry.setWidth(value);
        else if (field.startsWith(QLatin1String("Height:")))
            geometry.setHeight(value);
    }
    return geometry;
}

// The window with the frame that the window manager put around it, as the
// X server has them; empty while the window manager has not framed it.
QRect serverFrame(WId window)
{
    // "_NET_FRAME_EXTENTS(CARDINAL) = left, right, top, bottom"
    const QStringList extents = xprop(window, "_NET_FRAME_EXTENTS").section('=', 1).split(',');
    if (extents.size() != 4)
        return QRect();
    return serverGeometry(window).adjusted(-extents[0].trimmed().toInt(), -extents[2].trimmed().toInt(),
                                           extents[1].trimmed().toInt(), extents[3].trimmed().toInt());
}

class DialogOnScreen : public DialogFixture, public ::testing::WithParamInterface<int> {
protected:
    void showDialog()
    {
        setLanguage(GetParam());
        start();
        // As DoModal shows it.
        dialog().setWindowModality(Qt::ApplicationModal);
        dialog().show();
        ASSERT_TRUE(waitUntil([&] { return dialog().windowHandle() && dialog().windowHandle()->isExposed(); }, 60000));
        if (onX11()) {
            // The window manager has put its frame around the window.
            ASSERT_TRUE(waitUntil([&] { return !serverFrame(dialog().winId()).isEmpty(); }, 60000));
        }
    }
    // The window with its frame: the window manager's, or none.
    QRect frame() { return onX11() ? serverFrame(dialog().winId()) : dialog().frameGeometry(); }
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

TEST_P(DialogOnScreen, TakesTheTemplatesOwnSizeWithEveryControlAndTextWhole)
{
    showDialog();
    const int dpi = screenDpi();
    ASSERT_EQ(dialog().logicalDpiY(), dpi) << "the screen is not at the DPI asked for";
    if (dpi == 96) {
        EXPECT_EQ(dialog().size(), kSizeAt96);
    } else {
        // In proportion, but for the base units' being whole pixels: 13 px
        // of base height is half a pixel off at most, 4 %.
        const double width = kSizeAt96.width() * dpi / 96.0;
        const double height = kSizeAt96.height() * dpi / 96.0;
        EXPECT_NEAR(dialog().width(), width, width * 0.04);
        EXPECT_NEAR(dialog().height(), height, height * 0.04);
    }
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
        checked = true;
    });
    CDlgPassword password(&dialog());
    password.DoModal();
    EXPECT_TRUE(checked);
}

TEST_P(DialogOnScreen, OffersNeitherMaximiseNorResizingAndOpensWithItsTitleBarOnTheScreen)
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
    for (const char* refused :
         {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT", "_NET_WM_ACTION_RESIZE"})
        EXPECT_FALSE(actions.contains(QLatin1String(refused))) << actions.toStdString();
    EXPECT_FALSE(dialog().windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(dialog().minimumSize(), dialog().size());
    EXPECT_EQ(dialog().maximumSize(), dialog().size());

    // Where the window opens: its title bar on the screen, all of it where it fits.
    const QRect screen = dialog().screen()->geometry();
    const QRect framed = frame();
    EXPECT_GE(framed.top(), screen.top());
    EXPECT_GE(framed.left(), screen.left());
    EXPECT_LT(serverGeometry(window).top(), screen.bottom());
    if (framed.width() <= screen.width() && framed.height() <= screen.height()) {
        EXPECT_TRUE(screen.contains(framed));
    }
    saveScreen(QString());

    // Asked to maximise, the window stays as it is. The window manager
    // handles requests in order: once it has put the window above the
    // others, it has answered the request to maximise too.
    const QSize size = serverGeometry(window).size();
    dialog().showMaximized();
    dialog().windowHandle()->setFlags(dialog().windowHandle()->flags() | Qt::WindowStaysOnTopHint);
    ASSERT_TRUE(waitUntil([&] { return xprop(window, "_NET_WM_STATE").contains(QLatin1String("_NET_WM_STATE_ABOVE")); },
                          60000));
    EXPECT_FALSE(xprop(window, "_NET_WM_STATE").contains(QLatin1String("MAXIMIZED")));
    EXPECT_EQ(serverGeometry(window).size(), size);

    // A picture of the log after 30 lines.
    TransInfoTab& tab = *dialog().transInfoTab();
    for (int i = 1; i <= 30; ++i)
        tab.appendLog(QStringLiteral("line %1").arg(i));
    tab.tabBar()->setCurrentIndex(1);
    ASSERT_TRUE(waitUntil([&] { return tab.logPage().edit().isVisible(); }, 60000));
    saveScreen(QStringLiteral("_log"));
}

INSTANTIATE_TEST_SUITE_P(Languages, DialogOnScreen, ::testing::Values(1033, 2052),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 2052 ? std::string("Chinese") : std::string("English");
                         });

} // namespace
