#include "testing/xsession/drawntitle.h"

#include "testing/main/eventwait.h"
#include "testing/xsession/xdisplay.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QString>
#include <QWidget>

#include <algorithm>

namespace TestX {

namespace {

// The window manager draws a new title within a moment; a picture that has
// stayed the same this long is what it drew.
constexpr int kRedrawSettleMs = 300;

// The picture of area once it has stayed the same for kRedrawSettleMs,
// taken after it first differed from before (when before is given); false
// when that did not come within timeoutMs.
bool settledPicture(const QRect& area, const QImage* before, int timeoutMs, QImage* picture)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const auto grab = [&] { return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage(); };
    QElapsedTimer clock;
    clock.start();
    QImage last;
    if (!TestWait::waitUntil(
            [&] {
                last = grab();
                return !before || last != *before;
            },
            timeoutMs))
        return false;
    while (clock.elapsed() < timeoutMs) {
        TestWait::waitUntil([] { return false; }, kRedrawSettleMs);
        const QImage now = grab();
        if (now == last) {
            *picture = last;
            return true;
        }
        last = now;
    }
    return false;
}

} // namespace

int drawnTitleWidth(QWidget& window, int timeoutMs)
{
    const auto framed = XDisplay::current().settledWindow(window.winId(), timeoutMs);
    if (!framed || framed->frame.top() <= 0)
        return -1;
    const QRect outer = framed->outer();
    const QRect bar(outer.topLeft(), QSize(outer.width(), framed->frame.top()));
    QImage titled;
    if (!settledPicture(bar, nullptr, timeoutMs, &titled))
        return -1;
    const QString title = window.windowTitle();
    // Not empty: Qt puts the program's name in the place of an empty title.
    window.setWindowTitle(QStringLiteral(" "));
    QImage blank;
    const bool redrawn = settledPicture(bar, &titled, timeoutMs, &blank);
    window.setWindowTitle(title);
    QImage again;
    settledPicture(bar, &blank, timeoutMs, &again);
    if (!redrawn || blank.size() != titled.size())
        return -1;
    int left = titled.width();
    int right = -1;
    for (int y = 0; y < titled.height(); ++y) {
        for (int x = 0; x < titled.width(); ++x) {
            if (titled.pixel(x, y) != blank.pixel(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    return right < left ? 0 : right - left + 1;
}

int drawnTitleWidthWhole(const QString& title, int timeoutMs)
{
    // Above every other window: nothing of the program's covers its title bar.
    QWidget window(nullptr, Qt::Window | Qt::WindowStaysOnTopHint);
    window.setWindowTitle(title);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    window.setGeometry(area.x() + 40, area.y() + 80, area.width() - 80, 100);
    window.show();
    const int width = drawnTitleWidth(window, timeoutMs);
    window.close();
    return width;
}

} // namespace TestX
