#pragma once

// What the screen checks that tarnwickscreen_test runs on its X displays
// share: the DPI the display was made with, and a picture of the whole
// screen into the folder the test names (TW_SHOT_DIR; none when it names
// none), as <name>_<dpi>dpi_<width>x<height>.png.

#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QString>
#include <QtGlobal>

namespace TarnwickScreens {

// TW_SCREEN_DPI: Qt reads 191 off a server made for 192.
inline int screenDpi()
{
    const int dpi = qEnvironmentVariableIntValue("TW_SCREEN_DPI");
    return dpi > 0 ? dpi : qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch());
}

inline void saveScreen(const QString& name)
{
    const QString folder = qEnvironmentVariable("TW_SHOT_DIR");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    QScreen* screen = QGuiApplication::primaryScreen();
    const QString file = QStringLiteral("%1/%2_%3dpi_%4x%5.png")
                             .arg(folder, name)
                             .arg(screenDpi())
                             .arg(screen->size().width())
                             .arg(screen->size().height());
    EXPECT_TRUE(screen->grabWindow(0).save(file)) << file.toStdString();
}

} // namespace TarnwickScreens
