#pragma once

// The application font: the family the program is designed for where the
// system has it, else a CJK family that Debian ships, so that the Chinese
// texts render everywhere (also in headless tests).

#include <QFont>
#include <QString>

class AppFont {
public:
    // "微软雅黑" when installed, else "WenQuanYi Micro Hei".
    static QString family();
    // That family at the scaled size of 11 points less one.
    static QFont applicationFont();
    // Sets applicationFont() as the QApplication's font; returns it.
    static QFont apply();
};
