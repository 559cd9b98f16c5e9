#include "quillet/widgets/screentool.h"

#include <QDebug>
#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace {

constexpr int kBaseDpi = 72;
constexpr int kDpiOffsetFrom = 96;
constexpr int kDpiOffset = 24;

float ratio(int dpiInch)
{
    return static_cast<float>(dpiInch) / static_cast<float>(kBaseDpi);
}

} // namespace

ScreenTool::ScreenTool()
{
    mDpiInch = kBaseDpi;
    if (QScreen* screen = QGuiApplication::primaryScreen())
        mDpiInch = effectiveDpi(screen->logicalDotsPerInch());
    qDebug() << "ScreenTool: mDpiInch = " << mDpiInch;
}

const ScreenTool& ScreenTool::instance()
{
    static const ScreenTool tool;
    return tool;
}

int ScreenTool::effectiveDpi(double logicalDpi)
{
    const int dpi = static_cast<int>(logicalDpi);
    return dpi >= kDpiOffsetFrom ? dpi - kDpiOffset : dpi;
}

int ScreenTool::fontSizeAt(int dpiInch, int base)
{
    const double r = ratio(dpiInch);
    return static_cast<int>((std::trunc(r) - 1) * 1.2 + base);
}

int ScreenTool::scaleAt(int dpiInch, int v)
{
    return static_cast<int>(static_cast<double>(ratio(dpiInch)) * static_cast<double>(static_cast<float>(v)));
}

QSize ScreenTool::scaleSizeAt(int dpiInch, const QSize& size)
{
    const double r = ratio(dpiInch);
    return QSize(static_cast<int>(std::floor(r * size.width() + 0.5)),
                 static_cast<int>(std::floor(r * size.height() + 0.5)));
}

int ScreenTool::dpiInch()
{
    return instance().mDpiInch;
}

int ScreenTool::fontSize(int base)
{
    return fontSizeAt(dpiInch(), base);
}

int ScreenTool::scale(int v)
{
    return scaleAt(dpiInch(), v);
}

QSize ScreenTool::scaleSize(const QSize& size)
{
    return scaleSizeAt(dpiInch(), size);
}
