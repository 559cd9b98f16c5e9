#include "tarnwick/core/screentool.h"

#include <QCoreApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

int ScreenTool::dpiForLogicalDpi(qreal logicalDpi)
{
    const int d = static_cast<int>(logicalDpi);
    return d < 96 ? d : d - 24;
}

float ScreenTool::factorForDpi(int dpi)
{
    return static_cast<float>(dpi) / 72.0f;
}

int ScreenTool::fontSizeFor(float factor, int base)
{
    const int k = static_cast<int>(factor);
    return static_cast<int>((k - 1) * 1.2 + base);
}

int ScreenTool::scaleFor(float factor, int v)
{
    return static_cast<int>(static_cast<double>(static_cast<float>(v)) * static_cast<double>(factor));
}

QSize ScreenTool::scaleSizeFor(float factor, const QSize& size)
{
    const double f = factor;
    return QSize(qRound(size.width() * f), qRound(size.height() * f));
}

ScreenTool::State ScreenTool::readScreen()
{
    State s;
    // Without a GUI application or a screen the defaults stay: factor 1.0 and
    // an unknown screen size.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
        return s;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return s;
    s.dpi = dpiForLogicalDpi(screen->logicalDotsPerInch());
    s.factor = factorForDpi(s.dpi);
    s.width = screen->size().width();
    s.height = screen->size().height();
    qDebug().noquote().nospace() << "ScreenTool: mDpiInch = " << s.dpi;
    return s;
}

const ScreenTool::State& ScreenTool::state()
{
    static const State s = readScreen();
    return s;
}

int ScreenTool::fontSize(int base)
{
    return fontSizeFor(state().factor, base);
}

int ScreenTool::scale(int v)
{
    return scaleFor(state().factor, v);
}

QPair<int, int> ScreenTool::scaleRound(const QPair<int, int>& v)
{
    const double f = state().factor;
    return qMakePair(qRound(v.first * f), qRound(v.second * f));
}

QSize ScreenTool::scaleSize(const QSize& size)
{
    return scaleSizeFor(state().factor, size);
}

int ScreenTool::widthPercent(const QWidget* widget, int percent)
{
    if (widget == nullptr)
        return -1;
    return static_cast<int>(widget->geometry().width() * percent / 100.0);
}

int ScreenTool::heightPercent(const QWidget* widget, int percent)
{
    if (widget == nullptr)
        return -1;
    return static_cast<int>(widget->geometry().height() * percent / 100.0);
}

QSize ScreenTool::sizePercent(const QWidget* widget, int percent)
{
    if (widget == nullptr)
        return QSize(-1, -1);
    const double f = percent / 100.0;
    const QRect g = widget->geometry();
    return QSize(qRound(g.width() * f), qRound(g.height() * f));
}

QSize ScreenTool::screenSize()
{
    const State& s = state();
    return QSize(s.width, s.height);
}
