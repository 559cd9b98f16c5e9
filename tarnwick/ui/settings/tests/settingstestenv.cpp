#include "tarnwick/ui/settings/tests/settingstestenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <QWidget>

#include <cstdlib>

namespace SettingsTestEnv {

QString prepare()
{
    static QTemporaryDir* dir = nullptr;
    if (dir == nullptr) {
        dir = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/tw-settings-XXXXXX"));
        QDir(dir->path()).mkpath(QStringLiteral("data"));
        QDir(dir->path()).mkpath(QStringLiteral("config"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir->path() + QStringLiteral("/config")));
        QDir::setCurrent(dir->path());
        // Removed at exit, after the settings and the log singletons (made
        // later, so destroyed earlier) have written their last state.
        std::atexit([] {
            QDir::setCurrent(QDir::tempPath());
            delete dir;
        });
    }
    return dir->path();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool saveScreenshot(QWidget* widget, const QString& name)
{
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/../screenshots");
    if (!QDir().mkpath(folder))
        return false;
    return widget->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

} // namespace SettingsTestEnv
