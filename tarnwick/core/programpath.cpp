#include "tarnwick/core/programpath.h"

#include <QCoreApplication>
#include <QDir>
#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex& overrideMutex()
{
    static QMutex mutex;
    return mutex;
}

QString& overrideDir()
{
    static QString dir;
    return dir;
}

} // namespace

QString ProgramPath::baseDir()
{
    {
        QMutexLocker lock(&overrideMutex());
        if (!overrideDir().isEmpty())
            return overrideDir();
    }
    return QCoreApplication::applicationDirPath();
}

void ProgramPath::setBaseDir(const QString& dir)
{
    QMutexLocker lock(&overrideMutex());
    overrideDir() = dir.isEmpty() ? QString() : QDir(dir).absolutePath();
}

QString ProgramPath::resolve(const QString& name)
{
    return QDir::cleanPath(QDir(baseDir()).absoluteFilePath(name));
}
