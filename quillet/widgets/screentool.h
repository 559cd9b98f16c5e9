#pragma once

#include <QSize>

// Sizes scaled by the screen's logical DPI, read once: fonts and widget
// metrics of the pass-through tool. The arithmetic is public as pure
// functions of the effective DPI so that any screen can be computed.
class ScreenTool {
public:
    static int fontSize(int base);
    static int scale(int v);
    static QSize scaleSize(const QSize& size);

    // The effective DPI of a logical DPI: truncated, less 24 from 96 on.
    static int effectiveDpi(double logicalDpi);
    static int fontSizeAt(int dpiInch, int base);
    static int scaleAt(int dpiInch, int v);
    static QSize scaleSizeAt(int dpiInch, const QSize& size);

    static int dpiInch();

private:
    ScreenTool();
    static const ScreenTool& instance();

    int mDpiInch = 72;
};
