// Saves a picture of the whole screen of the display that DISPLAY names into
// the PNG file given as the only argument; exit code 0 when it is written.

#include "testing/main/qtleaks.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

extern "C" const char* __lsan_default_suppressions()
{
    return TestLeaks::qtLibraries();
}

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2 || !QGuiApplication::primaryScreen()) {
        std::fprintf(stderr, "usage: %s picture.png (on an X display)\n", argv[0]);
        return 2;
    }
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    return !screen.isNull() && screen.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
