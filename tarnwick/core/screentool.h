#pragma once

// Sizes designed for a 96-dpi screen, scaled for the primary screen's logical
// DPI. The screen is read once, on the first call of any operation.

#include <QPair>
#include <QSize>

class QWidget;

class ScreenTool {
public:
    static int fontSize(int base);
    static int scale(int v);
    static QPair<int, int> scaleRound(const QPair<int, int>& v);
    static QSize scaleSize(const QSize& size);
    static int widthPercent(const QWidget* widget, int percent);
    static int heightPercent(const QWidget* widget, int percent);
    static QSize sizePercent(const QWidget* widget, int percent);
    static QSize screenSize();

    // The effective DPI: below 96 the logical DPI itself, from 96 up 24 less.
    static int dpiForLogicalDpi(qreal logicalDpi);
    // The arithmetic of the operations above for a given effective DPI; the
    // operations call these with the primary screen's DPI (72 when there is no
    // application or no screen).
    static float factorForDpi(int dpi);
    static int fontSizeFor(float factor, int base);
    static int scaleFor(float factor, int v);
    static QSize scaleSizeFor(float factor, const QSize& size);

private:
    struct State {
        int dpi = 72;
        int width = -1;
        int height = -1;
        float factor = 1.0f;
    };
    static const State& state();
    static State readScreen();
};
