#include "tarnwick/ui/mainwindow/tests/testhome.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

QString useTemporaryHome()
{
    // A function-local static made before the settings singleton is ended
    // after it, so the settings' final save still finds its folder.
    static QTemporaryDir home;
    static bool done = false;
    if (!done) {
        done = true;
        const QString root = home.path();
        for (const char* sub : {"config", "data", "runtime", "work/data"})
            QDir().mkpath(root + QLatin1Char('/') + QLatin1String(sub));
        QFile::setPermissions(root + QStringLiteral("/runtime"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + QStringLiteral("/config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(root + QStringLiteral("/data")));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root + QStringLiteral("/runtime")));
        QDir::setCurrent(root + QStringLiteral("/work"));
    }
    return home.path();
}
